// The simulated PCI functions as listings see them: location, the bytes they read now, the header decoded from
// those bytes (so a captured function and a described one are listed alike) and the board's name for it.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "sim/pci/config_space.h"
#include "sim/pci/pci_bus.h"

namespace boardsim {

struct ListedFunction {
  sim::PciLocation at;
  std::array<uint8_t, sim::kPciConfigSpaceSize> space;
  sim::DecodedConfigHeader header;
  std::string name;  // the board file's name, or empty
};

// Every function of the bus, ordered by segment, bus, device and function.
std::vector<ListedFunction> ListFunctions(const sim::PciBus& bus);

// "17:00.0", or "0001:17:00.0" off segment 0, in lower case as the PCI utilities write it.
std::string ListingSlot(const sim::PciLocation& at);

// "Ethernet controller: JSLOT1 network port 0 [7a3b:1593]": the class name, then the board's name or
// "Device", then vendor and device ID.
std::string FunctionDescription(const ListedFunction& function);

}  // namespace boardsim
