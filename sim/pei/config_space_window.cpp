// Configuration window dispatch: the offset's bits 12-27 select the function, bits 0-11 the byte.
#include "sim/pei/config_space_window.h"

#include <cstdio>
#include <cstdlib>

namespace sim {

ConfigSpaceWindow::ConfigSpaceWindow(const ConfigWindowConfig& config)
    : base_(config.base), bus_count_(config.bus_count) {
  if (bus_count_ == 0 || bus_count_ > 256) {
    std::fprintf(stderr, "simulator: configuration window at 0x%llX: bus_count %u must be 1 to 256\n",
                 static_cast<unsigned long long>(base_), bus_count_);
    std::abort();
  }
  for (const auto& f : config.functions) {
    uint8_t* space = AddFunction(f.bus, f.device, f.function);
    for (const auto& r : f.registers) {
      if (r.offset + r.width > 4096 || (r.width != 1 && r.width != 2 && r.width != 4 && r.width != 8)) {
        std::fprintf(stderr, "simulator: preset of %02X:%02X.%X at 0x%X width %u lies outside the 4 KiB space\n", f.bus,
                     f.device, f.function, r.offset, r.width);
        std::abort();
      }
      for (unsigned i = 0; i < r.width; ++i) space[r.offset + i] = static_cast<uint8_t>(r.value >> (8 * i));
    }
  }
}

uint8_t* ConfigSpaceWindow::Function(uint8_t bus, uint8_t device, uint8_t function) {
  auto it = functions_.find(Key(bus, device, function));
  return it == functions_.end() ? nullptr : it->second.data();
}

uint8_t* ConfigSpaceWindow::AddFunction(uint8_t bus, uint8_t device, uint8_t function) {
  auto [it, inserted] = functions_.try_emplace(Key(bus, device, function));
  if (inserted) it->second.fill(0);
  return it->second.data();
}

uint64_t ConfigSpaceWindow::Read(uint64_t offset, unsigned width) {
  auto it = functions_.find(static_cast<uint32_t>(offset >> 12));
  if (it == functions_.end() || (offset & 0xFFF) + width > 4096) return ~0ull;
  uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) value |= static_cast<uint64_t>(it->second[(offset & 0xFFF) + i]) << (8 * i);
  return value;
}

void ConfigSpaceWindow::Write(uint64_t offset, unsigned width, uint64_t value) {
  auto it = functions_.find(static_cast<uint32_t>(offset >> 12));
  if (it == functions_.end() || (offset & 0xFFF) + width > 4096) return;
  for (unsigned i = 0; i < width; ++i) it->second[(offset & 0xFFF) + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace sim
