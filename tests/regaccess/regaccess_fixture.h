// A simulated PEI platform for register-access tests, with helpers for records and recorded accesses.
#pragma once
#include <memory>
#include <vector>

#include "regaccess/register_address.h"
#include "sim/pei/pei_platform.h"

namespace regtest {

inline RegisterAddress Pcie(UINT32 address, UINT32 code, UINT32 count = 0, UINT32 type = PcieConfig,
                            UINT32 segment = 0) {
  return RegisterAddress{address, (count << 16) | segment, (code << 8) | type, 0};
}

// The enhanced-configuration offset of bus/device/function/register.
constexpr UINT32 Bdf(UINT32 bus, UINT32 device, UINT32 function, UINT32 offset) {
  return (bus << 20) | (device << 15) | (function << 12) | offset;
}

// The platform of the default configuration: PCD 44 = 0x80000000, a window at 0x80000000 with
// function 0:31.2 and 1:0.0 present, the platform MCFG table absent (length 0, so the fallback is used).
inline sim::PeiPlatformConfig DefaultConfig() {
  sim::PeiPlatformConfig config;
  config.mcfg_table.length = 0;
  config.config_windows[0].functions = {{0, 31, 2, {{0, 4, 0x12345678u}}}, {1, 0, 0, {}}};
  return config;
}

inline std::vector<sim::MmioAccess> Accesses(const sim::PeiPlatform& platform) { return platform.Recorded(); }

}  // namespace regtest
