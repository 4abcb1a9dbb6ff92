// Below-4-GiB host memory for emulated images: a page-granular mapping and a bump allocator over it.
#include "sim/image/guest_arena.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace sim {

void* MapBelow4GiB(size_t size) {
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  if (reinterpret_cast<uintptr_t>(p) + size > 0x100000000ull) {
    munmap(p, size);
    return nullptr;
  }
  return p;
}

GuestArena::GuestArena(size_t capacity) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  capacity_ = (capacity + page - 1) / page * page;
  base_ = static_cast<uint8_t*>(MapBelow4GiB(capacity_));
  if (base_ == nullptr) {
    std::fprintf(stderr, "simulator: cannot place %zu bytes of guest memory below 4 GiB\n", capacity_);
    std::abort();
  }
}

GuestArena::~GuestArena() { munmap(base_, capacity_); }

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
