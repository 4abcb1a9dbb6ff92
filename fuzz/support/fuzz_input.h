// Reads a fuzzer's byte string as a sequence of fields. Past the end every field reads as zero (or empty),
// so any input, however short, describes one complete case.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t Remaining() const { return size_ - at_; }
  bool Empty() const { return at_ >= size_; }

  uint8_t U8() { return at_ < size_ ? data_[at_++] : 0; }
  uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
  uint32_t U32() { return U16() | (static_cast<uint32_t>(U16()) << 16); }
  uint64_t U64() { return U32() | (static_cast<uint64_t>(U32()) << 32); }
  bool Bit() { return (U8() & 1) != 0; }
  // A value below `bound` (bound > 0).
  uint32_t Below(uint32_t bound) { return U8() % bound; }

  // Up to `n` bytes (fewer when the input runs out).
  std::vector<uint8_t> Bytes(size_t n) {
    size_t take = n < Remaining() ? n : Remaining();
    std::vector<uint8_t> out(data_ + at_, data_ + at_ + take);
    at_ += take;
    return out;
  }
  // A length byte, then that many bytes (at most `max`).
  std::vector<uint8_t> Sized(size_t max) {
    size_t n = U8();
    return Bytes(n < max ? n : max);
  }
  // A 16-bit length, then that many bytes (at most `max`).
  std::vector<uint8_t> Sized16(size_t max) {
    size_t n = U16();
    return Bytes(n < max ? n : max);
  }
  std::vector<uint8_t> Rest() { return Bytes(Remaining()); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

}  // namespace fuzz
