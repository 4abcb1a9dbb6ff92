// An address range the platform keeps for itself (an MMIO window, flash): no image, and none of the host memory the
// simulator hands an image at its own address, may lie over it.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/common/mmio_bus.h"

namespace sim {

struct ReservedRange {
  uint64_t base = 0;
  uint64_t size = 0;
  std::string name;
};

// The first range of `reserved` that [start, start + size) overlaps, or null.
const ReservedRange* OverlappedRange(uint64_t start, uint64_t size, std::span<const ReservedRange> reserved);
// Every region of a platform's bus, as reserved ranges.
std::vector<ReservedRange> BusRanges(const MmioBus& bus);

}  // namespace sim
