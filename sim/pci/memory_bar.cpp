// Memory BARs: description checks and the register window.
#include "sim/pci/memory_bar.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/common/hex_text.h"
#include "sim/pci/pci_bus.h"

namespace sim {

void CheckMemoryBars(const std::vector<PciFunctionSpec>& specs) {
  for (size_t i = 0; i < specs.size(); ++i) {
    if (!specs[i].memory_bar) continue;
    const MemoryBarSpec& bar = *specs[i].memory_bar;
    if (specs[i].header_type & 0x7F)
      throw PciTopologyError(i, "memory_bar", "a memory BAR on a bridge (only header type 0 functions have one here)");
    if (bar.size < kMemoryBarMinSize || bar.size > kMemoryBarMaxSize || (bar.size & (bar.size - 1)) != 0)
      throw PciTopologyError(i, "memory_bar.size",
                             "BAR size " + Hex(bar.size) + " is not a power of two from 16 bytes to 16 MiB");
    if (bar.address == 0 || (bar.address & (bar.size - 1)) != 0 || bar.address + bar.size < bar.address)
      throw PciTopologyError(
          i, "memory_bar.address",
          "BAR address " + Hex(bar.address) + " is zero or not aligned to its size " + Hex(bar.size));
    for (size_t k = 0; k < bar.contents.size(); ++k) {
      const BarContents& c = bar.contents[k];
      if (c.offset > bar.size || c.bytes.size() > bar.size - c.offset)
        throw PciTopologyError(i, "memory_bar.contents[" + std::to_string(k) + "]",
                               "bytes at " + Hex(c.offset) + " run past the BAR's " + Hex(bar.size) + " bytes");
    }
    for (size_t j = 0; j < i; ++j) {
      if (!specs[j].memory_bar) continue;
      const MemoryBarSpec& other = *specs[j].memory_bar;
      if (bar.address < other.address + other.size && other.address < bar.address + bar.size)
        throw PciTopologyError(i, "memory_bar.address",
                               "BAR at " + Hex(bar.address) + " overlaps the BAR at " + Hex(other.address) +
                                   " of function " + std::to_string(j + 1));
    }
  }
}

MemoryBarRegion::MemoryBarRegion(const MemoryBarSpec& spec)
    : bytes_(static_cast<uint8_t*>(std::calloc(spec.size != 0 ? spec.size : 1, 1))), size_(spec.size) {
  if (bytes_ == nullptr) {
    std::fprintf(stderr, "simulator: no memory for a BAR window of %llu bytes\n",
                 static_cast<unsigned long long>(spec.size));
    std::abort();
  }
  for (const BarContents& c : spec.contents) {
    for (size_t b = 0; b < c.bytes.size(); ++b) bytes_[c.offset + b] = c.bytes[b];
  }
}

uint64_t MemoryBarRegion::Read(uint64_t offset, unsigned width) {
  uint64_t value = 0;
  for (unsigned b = 0; b < width && offset + b < size_; ++b) value |= uint64_t{bytes_[offset + b]} << (8 * b);
  return value;
}

void MemoryBarRegion::Write(uint64_t offset, unsigned width, uint64_t value) {
  for (unsigned b = 0; b < width && offset + b < size_; ++b)
    bytes_[offset + b] = static_cast<uint8_t>(value >> (8 * b));
}

}  // namespace sim
