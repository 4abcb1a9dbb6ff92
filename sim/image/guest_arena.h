// Host memory below 4 GiB that an emulated image sees at the same address: the simulator places the tables,
// stacks and trap slots it hands to an image here, so a 32-bit image can hold their addresses and no pointer is
// translated between host and guest.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "sim/common/host_pages.h"

namespace sim {

class GuestArena {
 public:
  // Reserves `capacity` bytes (rounded up to whole pages), zero-filled, clear of the `reserved` ranges. When no
  // such room below 4 GiB is left the arena is empty (Placed() false, capacity 0).
  explicit GuestArena(size_t capacity, std::span<const ReservedRange> reserved = {});
  ~GuestArena();
  GuestArena(const GuestArena&) = delete;
  GuestArena& operator=(const GuestArena&) = delete;

  bool Placed() const { return base_ != nullptr; }
  // `size` zero bytes aligned to `align` (a power of two); aborts when the arena is full.
  uint8_t* Allocate(size_t size, size_t align = 16);
  // A 32-bit address inside the arena (every address of it fits).
  static uint32_t Address32(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

  // Forgets every allocation past the first `used` bytes (their memory is the caller's to clear).
  void Rewind(size_t used) {
    if (used < used_) used_ = used;
  }

  uint8_t* base() const { return base_; }
  size_t capacity() const { return capacity_; }
  size_t used() const { return used_; }

 private:
  uint8_t* base_ = nullptr;
  size_t capacity_ = 0;
  size_t used_ = 0;
};

}  // namespace sim
