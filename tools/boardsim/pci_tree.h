// The PCI tree of a board in the shape `lspci -tv` draws it: one `[SSSS:BB]` per root bus, a bridge as
// `DD.F-[BB-BB]--` with what its secondary bus holds, an endpoint as `DD.F  description`.
#pragma once
#include <string>
#include <vector>

#include "sim/pci/pci_bus.h"
#include "tools/boardsim/slot_root_ports.h"

namespace boardsim {

enum class TreeText {
  Names,  // each function's class, name and IDs (`lspci -tv`); slot root ports labelled
  Ids,    // vendor:device only and no labels, exactly as `lspci -tn` draws it
};

// Root buses are the buses that hold functions and are no bridge's secondary bus, drawn in ascending
// order; without any function, an empty bus 0. A slot root port's bridge reads `DD.F (DESIGNATION)-[BB]`. A bridge whose secondary bus was
// already drawn (a loop in the bus numbers) is drawn without its subtree.
std::string PciTreeText(const sim::PciBus& bus, const std::vector<SlotRootPort>& slots, TreeText text);

}  // namespace boardsim
