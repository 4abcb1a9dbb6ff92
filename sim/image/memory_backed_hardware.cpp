// Host memory at the platform's device addresses, rendered from the device models and read back into them.
#include "sim/image/memory_backed_hardware.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/pci/config_space.h"
#include "sim/pci/ecam_window.h"

namespace sim {

namespace {

std::string Range(uint64_t base, uint64_t size) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "0x%llX-0x%llX", static_cast<unsigned long long>(base),
                static_cast<unsigned long long>(base + size - 1));
  return buf;
}

uint64_t FunctionOffset(const PciLocation& l) {
  return (static_cast<uint64_t>(l.bus) << 20) | (static_cast<uint64_t>(l.device) << 15) |
         (static_cast<uint64_t>(l.function) << 12);
}

}  // namespace

// A present PCI function of a configuration window: its page and what was last rendered there.
struct RenderedFunction {
  PciFunction* function;
  uint64_t offset;
  std::optional<uint16_t> vpd;  // VPD capability offset
  std::array<uint8_t, kPciConfigSpaceSize> shadow;
};

struct MemoryBackedHardware::Block {
  uint64_t base = 0;
  uint64_t size = 0;
  MmioRegion* region = nullptr;
  std::string name;
  void* mapping = nullptr;
  size_t mapped = 0;
  EcamWindow* window = nullptr;           // a PCI configuration window
  std::vector<RenderedFunction> present;  // its functions
  std::vector<uint8_t> shadow;            // any other region: its bytes as last rendered
  unsigned width = 4;                     // access width used to render and write back other regions

  uint8_t* At(uint64_t offset) const { return reinterpret_cast<uint8_t*>(base + offset); }

  void RenderFunction(RenderedFunction& f) {
    f.shadow = f.function->Snapshot();
    std::memcpy(At(f.offset), f.shadow.data(), f.shadow.size());
  }

  void Render() {
    if (window != nullptr) {
      std::memset(At(0), 0xFF, size);
      for (const auto& fn : window->Bus().Functions()) {
        if (fn->Location().segment != window->Segment()) continue;
        RenderedFunction f{fn.get(), FunctionOffset(fn->Location()), std::nullopt, {}};
        const auto space = fn->Snapshot();
        for (const auto& entry : WalkCapabilities(space).entries) {
          if (entry.id == kPciCapabilityVpd && fn->Vpd() != nullptr) f.vpd = entry.offset;
        }
        RenderFunction(f);
        present.push_back(f);
      }
      return;
    }
    shadow.resize(size);
    for (uint64_t at = 0; at < size; at += width) {
      const uint64_t value = region->Read(at, width);
      std::memcpy(shadow.data() + at, &value, width);
    }
    std::memcpy(At(0), shadow.data(), size);
  }

  // Hands changed bytes of a present function to it: the VPD registers as the 16-bit and 32-bit accesses the
  // handshake uses, every other byte on its own.
  // A write of the value a register already shows cannot be seen in memory. The one such write a driver makes
  // is the first VPD request for address 0 (an idle device shows 0): a Stall while the device has never started
  // a read and its address register shows the flag clear counts as that request.
  void ApplyFunctionWrites(RenderedFunction& f, Violations& violations, bool stalling) {
    const uint8_t* now = At(f.offset);
    bool first_request = false;
    if (stalling && f.vpd && f.function->Vpd()->ReadsStarted() == 0) first_request = (now[*f.vpd + 3] & 0x80) == 0;
    if (!first_request && std::memcmp(now, f.shadow.data(), f.shadow.size()) == 0) return;
    for (uint16_t at = 0; at < kPciConfigSpaceSize; ++at) {
      if (f.vpd && at >= *f.vpd + 2 && at < *f.vpd + 8) continue;
      if (now[at] != f.shadow[at]) f.function->Write(at, 1, now[at], violations);
    }
    if (f.vpd) {
      const uint16_t data = static_cast<uint16_t>(*f.vpd + 4), address = static_cast<uint16_t>(*f.vpd + 2);
      if (std::memcmp(now + data, f.shadow.data() + data, 4) != 0) {
        uint32_t value;
        std::memcpy(&value, now + data, 4);
        f.function->Write(data, 4, value, violations);
      }
      if (first_request || std::memcmp(now + address, f.shadow.data() + address, 2) != 0) {
        uint16_t value;
        std::memcpy(&value, now + address, 2);
        f.function->Write(address, 2, value, violations);
      }
    }
    RenderFunction(f);
  }

  // Writes into absent functions' pages go to the window, which reports and drops them; the page reads all
  // ones again.
  void ApplyAbsentWrites() {
    static const std::array<uint8_t, kPciConfigSpaceSize> ones = [] {
      std::array<uint8_t, kPciConfigSpaceSize> a;
      a.fill(0xFF);
      return a;
    }();
    std::vector<bool> is_present(size / kPciConfigSpaceSize);
    for (const auto& f : present) is_present[f.offset / kPciConfigSpaceSize] = true;
    for (uint64_t page = 0; page < is_present.size(); ++page) {
      uint8_t* bytes = At(page * kPciConfigSpaceSize);
      if (is_present[page] || std::memcmp(bytes, ones.data(), ones.size()) == 0) continue;
      for (uint64_t at = 0; at < kPciConfigSpaceSize; ++at) {
        if (bytes[at] != 0xFF) window->Write(page * kPciConfigSpaceSize + at, 1, bytes[at]);
      }
      std::memcpy(bytes, ones.data(), ones.size());
    }
  }

  void ApplyRegionWrites() {
    for (uint64_t at = 0; at < size; at += width) {
      if (std::memcmp(At(at), shadow.data() + at, width) == 0) continue;
      uint64_t value = 0;
      std::memcpy(&value, At(at), width);
      region->Write(at, width, value);
      const uint64_t now = region->Read(at, width);
      std::memcpy(shadow.data() + at, &now, width);
      std::memcpy(At(at), &now, width);
    }
  }
};

std::unique_ptr<MemoryBackedHardware> MemoryBackedHardware::Create(DxePlatform& platform, std::string& error) {
  std::unique_ptr<MemoryBackedHardware> hardware(new MemoryBackedHardware(platform));
  const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  for (const MmioBus::MappedRegion& r : platform.Bus().Regions()) {
    auto block = std::make_unique<Block>();
    block->base = r.base;
    block->size = r.size;
    block->region = r.region;
    block->name = r.name;
    block->window = dynamic_cast<EcamWindow*>(r.region);
    if (r.base % 4 != 0 || r.size % 4 != 0) block->width = 1;
    const uint64_t start = r.base / page * page;
    block->mapped = (r.base + r.size - start + page - 1) / page * page;
    void* want = reinterpret_cast<void*>(start);
    void* got = mmap(want, block->mapped, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE | MAP_NORESERVE, -1, 0);
    if (got == MAP_FAILED || got != want) {
      const int cause = errno;
      if (got != MAP_FAILED) munmap(got, block->mapped);
      error = r.name + " at " + Range(r.base, r.size) + ": the address range cannot be mapped in this process (" +
              (got == MAP_FAILED ? std::string(std::strerror(cause)) : std::string("the kernel placed it elsewhere")) +
              "); a built image reaches its hardware at these addresses, so they must be free";
      return nullptr;
    }
    block->mapping = got;
    block->Render();
    hardware->blocks_.push_back(std::move(block));
  }
  return hardware;
}

MemoryBackedHardware::MemoryBackedHardware(DxePlatform& platform) : platform_(platform) {}

MemoryBackedHardware::~MemoryBackedHardware() {
  for (auto& block : blocks_) munmap(block->mapping, block->mapped);
}

void MemoryBackedHardware::ApplyWrites(bool whole) {
  for (auto& block : blocks_) {
    if (block->window != nullptr) {
      for (auto& f : block->present) block->ApplyFunctionWrites(f, platform_.Violations(), !whole);
      if (whole) block->ApplyAbsentWrites();
    } else if (whole) {
      block->ApplyRegionWrites();
    }
  }
}

void MemoryBackedHardware::RenderTimedRegisters() {
  for (auto& block : blocks_) {
    for (auto& f : block->present) {
      if (!f.vpd) continue;
      for (uint16_t at = static_cast<uint16_t>(*f.vpd + 2); at < *f.vpd + 8; ++at) {
        f.shadow[at] = static_cast<uint8_t>(f.function->Read(at, 1));
        block->At(f.offset)[at] = f.shadow[at];
      }
    }
  }
}

}  // namespace sim
