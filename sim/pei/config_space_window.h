// A memory-mapped PCI configuration window: 4 KiB per present function, all ones elsewhere.
#pragma once
#include <array>
#include <cstdint>
#include <map>

#include "sim/common/mmio_bus.h"
#include "sim/pei/pei_platform_config.h"

namespace sim {

class ConfigSpaceWindow : public MmioRegion {
 public:
  explicit ConfigSpaceWindow(const ConfigWindowConfig& config);

  uint64_t base() const { return base_; }
  uint64_t size() const { return static_cast<uint64_t>(bus_count_) << 20; }

  // The function's 4 KiB space, or null when the function is absent.
  uint8_t* Function(uint8_t bus, uint8_t device, uint8_t function);
  // Makes a function present (zero-filled) and returns its space.
  uint8_t* AddFunction(uint8_t bus, uint8_t device, uint8_t function);

  uint64_t Read(uint64_t offset, unsigned width) override;
  void Write(uint64_t offset, unsigned width, uint64_t value) override;

 private:
  using Space = std::array<uint8_t, 4096>;
  static uint32_t Key(uint8_t bus, uint8_t device, uint8_t function) {
    return (static_cast<uint32_t>(bus) << 8) | ((device & 0x1Fu) << 3) | (function & 7u);
  }

  uint64_t base_;
  unsigned bus_count_;
  std::map<uint32_t, Space> functions_;
};

}  // namespace sim
