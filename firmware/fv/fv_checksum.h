// The 8-bit and 16-bit sums the firmware volume layouts use: a header or data block is valid when its bytes (or
// little-endian 16-bit words) add up to zero, so a checksum field holds the value that makes the sum zero.
#pragma once
#include <cstdint>
#include <span>

namespace fv {

uint8_t Sum8(std::span<const uint8_t> bytes);
// The byte that makes Sum8 of the bytes plus it zero.
inline uint8_t Checksum8(std::span<const uint8_t> bytes) { return static_cast<uint8_t>(0x100 - Sum8(bytes)); }
// Sum of little-endian 16-bit words (an odd trailing byte counts as a low byte).
uint16_t Sum16(std::span<const uint8_t> bytes);

}  // namespace fv
