// Shared steps of the DXE harnesses: the driver's module state pointed at a fresh simulated platform (as
// driver entry leaves it), and the end-of-run check that turns every simulator violation (leak, damaged
// pool guard, refused or damaged SMBIOS record, access outside a device, misuse of a service) into a breach.
#pragma once
#include <string>
#include <vector>

#include "fuzz/support/fuzz_check.h"
#include "sim/dxe/dxe_platform.h"
#include "smbios/entry/driver_state.h"

namespace fuzz {

inline void AttachDriver(sim::DxePlatform& platform) {
  DriverStateReset();
  DriverAttach(platform.ImageHandle(), platform.SystemTable());
}

// Finishes the run and breaches on any violation whose message contains none of `tolerated`.
inline sim::RunSummary RequireCleanRun(sim::DxePlatform& platform, const std::vector<std::string>& tolerated = {}) {
  sim::RunSummary summary = platform.FinishRun();
  for (const std::string& message : summary.violations) {
    bool allowed = false;
    for (const std::string& t : tolerated) allowed = allowed || message.find(t) != std::string::npos;
    FUZZ_REQUIRE(allowed, message);
  }
  FUZZ_REQUIRE(summary.leaks.empty(), std::to_string(summary.leaks.size()) + " pool buffers leaked");
  FUZZ_REQUIRE(summary.refused_adds.empty(), summary.refused_adds.front());
  return summary;
}

}  // namespace fuzz
