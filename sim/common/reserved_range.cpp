// Overlap of an address range with the platform's reserved ranges.
#include "sim/common/reserved_range.h"

namespace sim {

const ReservedRange* OverlappedRange(uint64_t start, uint64_t size, std::span<const ReservedRange> reserved) {
  for (const ReservedRange& r : reserved) {
    // Differences rather than ends, so a range reaching the top of the address space does not wrap.
    const bool overlaps = start >= r.base ? start - r.base < r.size : r.base - start < size;
    if (size != 0 && r.size != 0 && overlaps) return &r;
  }
  return nullptr;
}

std::vector<ReservedRange> BusRanges(const MmioBus& bus) {
  std::vector<ReservedRange> ranges;
  for (const MmioBus::MappedRegion& r : bus.Regions()) ranges.push_back({r.base, r.size, r.name});
  return ranges;
}

}  // namespace sim
