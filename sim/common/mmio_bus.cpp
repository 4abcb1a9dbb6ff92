// Address dispatch for the simulated physical address space.
#include "sim/common/mmio_bus.h"

#include <cstdio>
#include <cstdlib>

#include "sim/common/hex_text.h"

namespace sim {

uint64_t AllOnes(unsigned width) { return width >= 8 ? ~0ull : ((1ull << (width * 8)) - 1); }

void MmioBus::Map(uint64_t base, uint64_t size, MmioRegion* region, std::string name) {
  for (const auto& m : mappings_) {
    if (base < m.base + m.size && m.base < base + size) {
      std::fprintf(stderr, "simulator: region %s at %s overlaps region %s at %s\n", name.c_str(), Hex(base).c_str(),
                   m.name.c_str(), Hex(m.base).c_str());
      std::abort();
    }
  }
  mappings_.push_back({base, size, region, std::move(name)});
}

void MmioBus::Unmap(MmioRegion* region) {
  std::erase_if(mappings_, [region](const Mapping& m) { return m.region == region; });
}

const MmioBus::Mapping* MmioBus::Find(uint64_t address, unsigned width, const char* what) {
  for (const auto& m : mappings_) {
    if (address >= m.base && address - m.base < m.size) {
      if (address - m.base + width > m.size) {
        violations_.Report(std::string("MMIO ") + what + " of " + std::to_string(width) + " bytes at " + Hex(address) +
                           " crosses the end of " + m.name);
        return nullptr;
      }
      return &m;
    }
  }
  violations_.Report(std::string("MMIO ") + what + " of " + std::to_string(width) + " bytes at " + Hex(address) +
                     " outside any device");
  return nullptr;
}

uint64_t MmioBus::Read(uint64_t address, unsigned width) {
  ++reads_;
  const Mapping* m = Find(address, width, "read");
  uint64_t value = m ? m->region->Read(address - m->base, width) & AllOnes(width) : AllOnes(width);
  if (recording_) recorded_.push_back({address, width, value, false});
  return value;
}

void MmioBus::Write(uint64_t address, unsigned width, uint64_t value) {
  ++writes_;
  value &= AllOnes(width);
  if (recording_) recorded_.push_back({address, width, value, true});
  if (const Mapping* m = Find(address, width, "write")) m->region->Write(address - m->base, width, value);
}

std::vector<MmioBus::MappedRegion> MmioBus::Regions() const {
  std::vector<MappedRegion> out;
  for (const Mapping& m : mappings_) out.push_back({m.base, m.size, m.region, m.name});
  return out;
}

}  // namespace sim
