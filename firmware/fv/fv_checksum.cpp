// Byte and word sums of the firmware volume layouts.
#include "firmware/fv/fv_checksum.h"

namespace fv {

uint8_t Sum8(std::span<const uint8_t> bytes) {
  uint8_t sum = 0;
  for (uint8_t b : bytes) sum = static_cast<uint8_t>(sum + b);
  return sum;
}

uint16_t Sum16(std::span<const uint8_t> bytes) {
  uint16_t sum = 0;
  for (size_t i = 0; i < bytes.size(); i += 2) {
    const uint16_t word = static_cast<uint16_t>(bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0));
    sum = static_cast<uint16_t>(sum + word);
  }
  return sum;
}

}  // namespace fv
