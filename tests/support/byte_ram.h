// A bus region that stores what is written and answers it back, little endian, for tests of code on the
// simulated bus (both halves: it needs only sim/common).
#pragma once
#include <cstdint>
#include <map>

#include "sim/common/mmio_bus.h"

namespace sim_test {

// Unwritten bytes read as 0.
class ByteRam : public sim::MmioRegion {
 public:
  uint64_t Read(uint64_t offset, unsigned width) override {
    uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i) v |= static_cast<uint64_t>(bytes[offset + i]) << (8 * i);
    return v;
  }
  void Write(uint64_t offset, unsigned width, uint64_t value) override {
    for (unsigned i = 0; i < width; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  }
  std::map<uint64_t, uint8_t> bytes;
};

}  // namespace sim_test
