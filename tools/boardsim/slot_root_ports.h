// Where the driver looks for each slot's root port on a board: the slots of its board inventory placed by the
// board's socket/stack bus layout (PCD token 30), with the designation the driver gives the slot.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/pci/pci_location.h"

namespace boardsim {

struct SlotRootPort {
  sim::PciLocation at;      // function 0 of the slot's first port on its stack's bus
  std::string designation;  // the slot designation, as ASCII
};

// In publishing order. A slot whose socket or stack the layout does not mark present, or every slot when
// the layout is not valid, has no root port for the driver and is left out. Bytes past the 72-byte record
// are ignored and missing ones read zero, as the driver copies the value.
std::vector<SlotRootPort> SlotRootPorts(const std::vector<uint8_t>& socket_bus_layout);

}  // namespace boardsim
