// Memory BARs of simulated PCI functions: the checks on their description and the register window that the
// platform maps at each BAR's address.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "sim/common/mmio_bus.h"
#include "sim/pci/pci_function_spec.h"

namespace sim {

constexpr uint64_t kMemoryBarMinSize = 16;
constexpr uint64_t kMemoryBarMaxSize = 16ull << 20;

// Throws PciTopologyError (field "memory_bar...") for a BAR on a bridge, a size that is not a power of two in
// 16 bytes..16 MiB, an address of 0 or not aligned to the size, contents outside the window, or two BARs that
// overlap.
void CheckMemoryBars(const std::vector<PciFunctionSpec>& specs);

// The register window of one BAR: the bytes the description gives, 0 elsewhere; writes are kept.
class MemoryBarRegion : public MmioRegion {
 public:
  explicit MemoryBarRegion(const MemoryBarSpec& spec);
  uint64_t Read(uint64_t offset, unsigned width) override;
  void Write(uint64_t offset, unsigned width, uint64_t value) override;

 private:
  struct Free {
    void operator()(uint8_t* p) const { std::free(p); }
  };
  // Zeroed by calloc: a large window comes as fresh pages that are touched only where the description or a
  // write puts bytes, where a zero-filled vector would write every page of a 16 MiB window at each boot.
  std::unique_ptr<uint8_t[], Free> bytes_;
  uint64_t size_;
};

}  // namespace sim
