// Below-4-GiB host memory for emulated images: a page-granular mapping clear of the platform's windows and a bump
// allocator over it.
#include "sim/image/guest_arena.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>

namespace sim {

GuestArena::GuestArena(size_t capacity, std::span<const ReservedRange> reserved) {
  const size_t page = HostPageSize();
  const size_t rounded = (capacity + page - 1) / page * page;
  base_ = static_cast<uint8_t*>(MapBelow4GiB(rounded, reserved));
  if (base_ != nullptr) capacity_ = rounded;
}

GuestArena::~GuestArena() {
  if (base_ != nullptr) munmap(base_, capacity_);
}

uint8_t* GuestArena::Allocate(size_t size, size_t align) {
  const size_t start = (used_ + align - 1) & ~(align - 1);
  if (start > capacity_ || size > capacity_ - start) {
    std::fprintf(stderr, "simulator: guest memory of %zu bytes is full (%zu more wanted)\n", capacity_, size);
    std::abort();
  }
  used_ = start + size;
  return base_ + start;
}

}  // namespace sim
