// A PEI platform with everything the tracing module meets: the PMC, the trace hub's software-trace
// window, the report-status-code handler PPI and an arena for status-code data records.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "sim/pei/pei_platform.h"
#include "sim/pei/status_code_handler.h"
#include "sim/pei/status_code_records.h"
#include "sim/pei/trace_hub_devices.h"

namespace sim {

struct TracePlatformConfig {
  PeiPlatformConfig pei;  // the PMC joins its first configuration window
  PmcConfig pmc;
  TraceHubConfig hub;
  bool install_status_code_handler = true;
  // After the window has taken this many writes, the PMC stops answering (0:31.2 reads all ones).
  std::optional<uint64_t> pmc_vanishes_after_writes;
};

class TracePlatform {
 public:
  explicit TracePlatform(const TracePlatformConfig& config = TracePlatformConfig{});

  PeiPlatform& pei() { return *pei_; }
  TraceHubWindow& hub() { return *hub_; }
  // The PMC's power-management region; null when the PMC is absent or its base is 0.
  PowerMgmtRegion* power_mgmt() { return power_mgmt_; }
  StatusCodeHandler& handler() { return handler_; }
  StatusCodeRecordArena& records() { return records_; }
  Violations& violations() { return pei_->violations(); }

  // From now on 0:31.2 reads all ones, as if the PMC were gone.
  void VanishPmc();

  // Reports one status code to the registered listeners with the platform's services pointer.
  std::vector<EFI_STATUS> Report(EFI_STATUS_CODE_TYPE type, EFI_STATUS_CODE_VALUE value, uint32_t instance = 0,
                                 const EFI_GUID* caller_id = nullptr, const void* data = nullptr);

  // Reads the module made on the bus so far (configuration window, PM region, trace-hub window).
  uint64_t MmioReads() const { return pei_->bus().ReadCount(); }

 private:
  static PeiPlatformConfig WithPmc(const TracePlatformConfig& config);

  std::unique_ptr<PeiPlatform> pei_;
  StatusCodeHandler handler_;
  StatusCodeRecordArena records_;
  TraceHubWindow* hub_ = nullptr;
  PowerMgmtRegion* power_mgmt_ = nullptr;
};

}  // namespace sim
