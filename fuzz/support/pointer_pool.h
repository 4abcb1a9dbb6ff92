// Memory below 4 GiB for the 32-bit pointers of packed argument lists and status-code records. The
// formatter cannot tell a number from a pointer in a packed list (the format decides), so a harness maps
// every word of a list to an address inside the pool: whatever the format does with it, it names readable
// bytes. The pool holds fuzzed bytes followed by zeros, so every string in it ends inside it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/pei/status_code_records.h"

namespace fuzz {

class PointerPool {
 public:
  // The pool is `bytes` followed by kTail zero bytes (a GUID or time record read at the last byte fits).
  PointerPool(sim::StatusCodeRecordArena& arena, const std::vector<uint8_t>& bytes) : size_(bytes.size()) {
    std::string text(bytes.begin(), bytes.end());
    text.append(kTail, '\0');
    base_ = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arena.Text(text)));
  }

  // 0 stays the null pointer; any other word becomes an address inside the pool.
  uint32_t Address(uint32_t word) const { return word == 0 ? 0 : base_ + word % (size_ + 1); }

  // Rewrites every 4-byte word of a packed list (items start at multiples of 4 bytes) with Address.
  void MapWords(uint8_t* list, size_t bytes) const {
    for (size_t at = 0; at + 4 <= bytes; at += 4) {
      uint32_t word =
          list[at] | (list[at + 1] << 8) | (list[at + 2] << 16) | (static_cast<uint32_t>(list[at + 3]) << 24);
      uint32_t mapped = Address(word);
      for (int i = 0; i < 4; ++i) list[at + i] = static_cast<uint8_t>(mapped >> (8 * i));
    }
  }

 private:
  static constexpr size_t kTail = 24;
  size_t size_;
  uint32_t base_ = 0;
};

}  // namespace fuzz
