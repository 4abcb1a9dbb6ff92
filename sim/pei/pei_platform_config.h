// Plain description of a simulated PEI platform; tests fill it directly, a board-file loader later.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/common/reserved_range.h"

namespace sim {

// A value preset in a function's configuration space (width 1, 2, 4 or 8 bytes, little-endian).
struct ConfigRegisterPreset {
  uint16_t offset = 0;
  unsigned width = 4;
  uint64_t value = 0;
};

// One present PCI function of a configuration window; its 4 KiB space starts zero-filled.
struct PciFunctionConfig {
  uint8_t bus = 0;
  uint8_t device = 0;
  uint8_t function = 0;
  std::vector<ConfigRegisterPreset> registers;
};

// A memory-mapped configuration window (4 KiB per function, 1 MiB per bus). Absent functions read
// all ones and drop writes.
struct ConfigWindowConfig {
  uint64_t base = 0x80000000u;
  unsigned bus_count = 256;
  std::vector<PciFunctionConfig> functions;
};

struct McfgEntryConfig {
  uint64_t base = 0;
  uint16_t segment = 0;
  uint8_t first_bus = 0;
  uint8_t last_bus = 255;
};

// The platform's McfgTable behind PCD token 60.
struct McfgTableConfig {
  bool published = true;  // false: token 60 reads as a null pointer
  std::vector<McfgEntryConfig> entries;
  std::optional<uint32_t> length;  // the length field; default 16 + 16 * entries (0 marks the table absent)
};

// Bytes placed into the SiliconContext record at a byte position.
struct ContextBytes {
  uint32_t position = 0;
  std::vector<uint8_t> bytes;
};

struct PeiPlatformConfig {
  uint64_t default_mmcfg_base = 0x80000000u;  // PCD token 44
  McfgTableConfig mcfg_table;                 // PCD token 60
  bool install_pcd_ppi = true;
  std::vector<ConfigWindowConfig> config_windows = {ConfigWindowConfig{}};
  std::vector<ContextBytes> silicon_context;  // the record is always present, zero-filled otherwise
  // Where devices will be mapped after the platform is built (AddDevice): the platform's own below-4-GiB memory
  // stays clear of them as it does of the configuration windows.
  std::vector<ReservedRange> device_ranges;
};

// Little-endian helper for ContextBytes.
inline ContextBytes ContextWord32(uint32_t position, uint32_t value) {
  return {position,
          {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
           static_cast<uint8_t>(value >> 24)}};
}

}  // namespace sim
