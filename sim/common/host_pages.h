// Whole pages of host memory (read-write, zero-filled) for what the simulator hands an emulated image at the same
// address: below 4 GiB for a 32-bit guest, and never over a range the platform keeps for itself (an MMIO window,
// flash), whose addresses the guest reaches as devices rather than memory.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "sim/common/reserved_range.h"

namespace sim {

constexpr uint64_t k4GiB = 0x100000000ull;

size_t HostPageSize();

// Pages at exactly `address` (page-aligned), or null when any of them is taken in this process.
void* MapPagesAt(uint64_t address, size_t size);

// Pages wholly below `limit` (k4GiB for a 32-bit guest, ~0 for anywhere) and clear of every `reserved` range; null
// when no such place is free. Tried in turn: `preferred` (when not 0; moved just below each range it meets, or
// failing that just above, so the place is the same from run to run), the kernel's choice, the places just below
// and just above the range the kernel's choice met and then every range, and below 4 GiB a probe every 16 MiB.
// `size` is rounded up to pages.
void* MapPagesClearOf(size_t size, uint64_t limit, std::span<const ReservedRange> reserved, uint64_t preferred = 0);

// MapPagesClearOf below 4 GiB.
inline void* MapBelow4GiB(size_t size, std::span<const ReservedRange> reserved = {}, uint64_t preferred = 0) {
  return MapPagesClearOf(size, k4GiB, reserved, preferred);
}

}  // namespace sim
