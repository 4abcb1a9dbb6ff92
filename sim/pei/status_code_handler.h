// The simulated PEI report-status-code handler PPI: listeners register and unregister through the PPI;
// the host reports status codes, which reach every registered listener in registration order.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/common/violations.h"
#include "sim/pei/ppi_database.h"
#include "uefi/protocols/report_status_code_handler_ppi.h"

namespace sim {

class PeiPlatform;

class StatusCodeHandler {
 public:
  // At most this many listeners, as a PEI core's fixed table holds.
  static constexpr size_t kMaxListeners = 8;

  explicit StatusCodeHandler(Violations& violations);
  ~StatusCodeHandler();
  StatusCodeHandler(const StatusCodeHandler&) = delete;
  StatusCodeHandler& operator=(const StatusCodeHandler&) = delete;

  // Installs the PPI in the platform's database; from then on the PPI's functions, which take no `This`, serve
  // this handler while the platform is attached.
  void Install(PeiPlatform& platform);
  EFI_PEI_RSC_HANDLER_PPI* ppi() { return &ppi_; }

  // Reports one status code to every registered listener with services as their first argument; returns
  // each listener's status in order.
  std::vector<EFI_STATUS> Report(const EFI_PEI_SERVICES** services, EFI_STATUS_CODE_TYPE type,
                                 EFI_STATUS_CODE_VALUE value, uint32_t instance, const EFI_GUID* caller_id,
                                 const void* data);

  const std::vector<EFI_PEI_RSC_HANDLER_CALLBACK>& listeners() const { return listeners_; }
  uint64_t RegisterCalls() const { return register_calls_; }

  // Served to the PPI: already registered EFI_ALREADY_STARTED, a full table EFI_OUT_OF_RESOURCES, a null
  // callback EFI_INVALID_PARAMETER; unregistering an unknown callback EFI_NOT_FOUND.
  EFI_STATUS Register(EFI_PEI_RSC_HANDLER_CALLBACK callback);
  EFI_STATUS Unregister(EFI_PEI_RSC_HANDLER_CALLBACK callback);

 private:
  Violations& violations_;
  EFI_PEI_RSC_HANDLER_PPI ppi_;
  PeiPlatform* platform_ = nullptr;  // the platform it is installed on
  std::vector<EFI_PEI_RSC_HANDLER_CALLBACK> listeners_;
  uint64_t register_calls_ = 0;
};

}  // namespace sim
