// The bytes of a platform McfgTable (ACPI MCFG layout) built from its configuration.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/pei/pei_platform_config.h"

namespace sim {

// "MCFG", the length word, 8 header bytes, then 16 bytes per entry (base, segment, first and last bus).
std::vector<uint8_t> BuildMcfgTable(const McfgTableConfig& config);

}  // namespace sim
