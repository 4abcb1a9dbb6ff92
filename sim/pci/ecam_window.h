// The memory-mapped configuration window of one PCI segment (256 buses x 32 devices x 8 functions x 4 KiB)
// as a region of the simulated bus. Absent functions read all ones.
#pragma once
#include <cstdint>

#include "sim/common/mmio_bus.h"
#include "sim/pci/pci_bus.h"

namespace sim {

constexpr uint64_t kEcamWindowSize = 256ull << 20;

class EcamWindow : public MmioRegion {
 public:
  EcamWindow(PciBus& bus, uint16_t segment, Violations& violations)
      : bus_(bus), segment_(segment), violations_(violations) {}

  // Widths 1, 2 and 4, naturally aligned. An 8-byte or misaligned access is a violation (reads answer all
  // ones, writes are dropped). A write to an absent function is dropped and reported.
  uint64_t Read(uint64_t offset, unsigned width) override;
  void Write(uint64_t offset, unsigned width, uint64_t value) override;

  PciBus& Bus() const { return bus_; }
  uint16_t Segment() const { return segment_; }

 private:
  bool Check(uint64_t offset, unsigned width, const char* what);
  PciFunction* At(uint64_t offset) const;

  PciBus& bus_;
  uint16_t segment_;
  Violations& violations_;
};

}  // namespace sim
