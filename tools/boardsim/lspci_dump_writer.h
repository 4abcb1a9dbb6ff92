// Writing a board's PCI functions in the PCI utilities' dump format (what `lspci -xxxx` prints and
// `lspci -F FILE` reads back): a `BB:DD.F class: name` line (`DDDD:BB:DD.F` off segment 0), the whole 4 KiB
// configuration space as `OO: hh ...` lines of 16 bytes, and a blank line after each function.
#pragma once
#include <string>

#include "sim/pci/pci_bus.h"

namespace boardsim {

// Every function of the bus in location order, its bytes as they read now (VPD registers included).
std::string LspciDumpText(const sim::PciBus& bus);

}  // namespace boardsim
