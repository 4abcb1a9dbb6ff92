// Placing captured functions onto a board: a placed function moves to its new address; a placed bridge gets a
// new secondary bus and the captured subtree behind it comes along, renumbered by the same offset (every
// function's bus, every bridge's primary, secondary and subordinate numbers). Pure data; no I/O.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/board/captures/lspci_dump_reader.h"

namespace sim {

struct CapturePlacement {
  PciLocation from;            // the function in the capture
  PciLocation at;              // where it goes
  std::optional<uint8_t> bus;  // a bridge's new secondary bus
};

struct PlacedFunction {
  DumpedFunction function;  // location and bus registers rewritten
  size_t placement = 0;     // the placement that took it
};

// The placed functions and their subtrees, in placement order (each subtree after its bridge, in location order).
// Throws CaptureError whose Where() is the placement's index for: a source not in the capture, a function taken
// twice (placed twice, or placed and inside a placed subtree), `bus` on a function that is not a bridge or
// missing on a bridge, a captured bridge whose bus range is empty, and a renumbering that leaves buses 00..FF.
std::vector<PlacedFunction> PlaceCapturedFunctions(const std::vector<DumpedFunction>& captured,
                                                   const std::vector<CapturePlacement>& placements);

}  // namespace sim
