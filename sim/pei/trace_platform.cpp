// Assembles the tracing module's platform: PMC configuration space and PM region, trace-hub window,
// report-status-code handler, and the vanishing-PMC fault.
#include "sim/pei/trace_platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {
constexpr size_t kRecordArenaSize = 1 << 20;
}  // namespace

PeiPlatformConfig TracePlatform::WithPmc(const TracePlatformConfig& config) {
  PeiPlatformConfig pei = config.pei;
  if (pei.config_windows.empty()) {
    std::fprintf(stderr, "simulator: the trace platform needs a configuration window for the PMC at 0:31.2\n");
    std::abort();
  }
  if (config.pmc.present) pei.config_windows[0].functions.push_back(PmcFunctionConfig(config.pmc));
  const uint64_t pm_base = config.pmc.config_dword_48 & 0xFFFF0000u;
  if (config.pmc.present && pm_base != 0)
    pei.device_ranges.push_back({pm_base, kPowerMgmtRegionSize, "PMC power-management region"});
  pei.device_ranges.push_back({kTraceHubWindowBase, kTraceHubWindowSize, "trace-hub software-trace window"});
  return pei;
}

TracePlatform::TracePlatform(const TracePlatformConfig& config)
    : pei_(std::make_unique<PeiPlatform>(WithPmc(config))),
      handler_(pei_->violations()),
      records_(kRecordArenaSize, pei_->reserved()) {
  uint64_t pm_base = config.pmc.config_dword_48 & 0xFFFF0000u;
  if (config.pmc.present && pm_base != 0) {
    auto region = std::make_unique<PowerMgmtRegion>(config.pmc.trace_hub_disabled);
    power_mgmt_ = region.get();
    pei_->AddDevice(pm_base, kPowerMgmtRegionSize, std::move(region), "PMC power-management region");
  }
  auto window = std::make_unique<TraceHubWindow>(config.hub, pei_->violations());
  hub_ = window.get();
  pei_->AddDevice(kTraceHubWindowBase, kTraceHubWindowSize, std::move(window), "trace-hub software-trace window");
  if (config.pmc_vanishes_after_writes) {
    uint64_t limit = *config.pmc_vanishes_after_writes;
    if (limit == 0) VanishPmc();
    hub_->OnWrite([this, limit] {
      if (hub_->Writes().size() == limit) VanishPmc();
    });
  }
  if (config.install_status_code_handler) handler_.Install(*pei_);
}

void TracePlatform::VanishPmc() {
  uint8_t* space = pei_->config_window(0).Function(kPmcBus, kPmcDevice, kPmcFunction);
  if (space != nullptr) std::memset(space, 0xFF, 4096);
}

std::vector<EFI_STATUS> TracePlatform::Report(EFI_STATUS_CODE_TYPE type, EFI_STATUS_CODE_VALUE value, uint32_t instance,
                                              const EFI_GUID* caller_id, const void* data) {
  return handler_.Report(pei_->services_pointer(), type, value, instance, caller_id, data);
}

}  // namespace sim
