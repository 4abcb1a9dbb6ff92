// Listener table of the simulated report-status-code handler and the PPI functions that serve it.
#include "sim/pei/status_code_handler.h"

#include <algorithm>
#include <string>

#include "sim/pei/pei_platform.h"
#include "uefi/status.h"

namespace sim {

namespace {

// The handler of the attached PEI platform, or null (the PPI then answers EFI_NOT_READY).
StatusCodeHandler* Active() {
  PeiPlatform* platform = PeiPlatform::Current();
  return platform != nullptr ? platform->status_code_handler() : nullptr;
}

EFI_STATUS EFIAPI PpiRegister(EFI_PEI_RSC_HANDLER_CALLBACK callback) {
  return Active() != nullptr ? Active()->Register(callback) : EFI_NOT_READY;
}

EFI_STATUS EFIAPI PpiUnregister(EFI_PEI_RSC_HANDLER_CALLBACK callback) {
  return Active() != nullptr ? Active()->Unregister(callback) : EFI_NOT_READY;
}

}  // namespace

StatusCodeHandler::StatusCodeHandler(Violations& violations)
    : violations_(violations), ppi_{PpiRegister, PpiUnregister} {}

StatusCodeHandler::~StatusCodeHandler() {
  if (platform_ != nullptr && platform_->status_code_handler() == this) platform_->set_status_code_handler(nullptr);
}

void StatusCodeHandler::Install(PeiPlatform& platform) {
  platform_ = &platform;
  platform.set_status_code_handler(this);
  platform.ppis().Install(gEfiPeiRscHandlerPpiGuid, &ppi_);
}

EFI_STATUS StatusCodeHandler::Register(EFI_PEI_RSC_HANDLER_CALLBACK callback) {
  ++register_calls_;
  if (callback == nullptr) return EFI_INVALID_PARAMETER;
  if (std::find(listeners_.begin(), listeners_.end(), callback) != listeners_.end()) return EFI_ALREADY_STARTED;
  if (listeners_.size() >= kMaxListeners) return EFI_OUT_OF_RESOURCES;
  listeners_.push_back(callback);
  return EFI_SUCCESS;
}

EFI_STATUS StatusCodeHandler::Unregister(EFI_PEI_RSC_HANDLER_CALLBACK callback) {
  auto it = std::find(listeners_.begin(), listeners_.end(), callback);
  if (it == listeners_.end()) return EFI_NOT_FOUND;
  listeners_.erase(it);
  return EFI_SUCCESS;
}

std::vector<EFI_STATUS> StatusCodeHandler::Report(const EFI_PEI_SERVICES** services, EFI_STATUS_CODE_TYPE type,
                                                  EFI_STATUS_CODE_VALUE value, uint32_t instance,
                                                  const EFI_GUID* caller_id, const void* data) {
  std::vector<EFI_STATUS> statuses;
  // A copy: a listener may unregister itself while being called.
  std::vector<EFI_PEI_RSC_HANDLER_CALLBACK> listeners = listeners_;
  for (auto callback : listeners) {
    EFI_STATUS status =
        callback(services, type, value, instance, caller_id, static_cast<const EFI_STATUS_CODE_DATA*>(data));
    if (EFI_ERROR(status)) {
      violations_.Report("status-code listener returned an error for code type " + std::to_string(type));
    }
    statuses.push_back(status);
  }
  return statuses;
}

}  // namespace sim
