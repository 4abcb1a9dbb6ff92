// The platform callback registry: takes "PSMB" registration records at the SMBIOS publish point and calls
// their callbacks once when PCI enumeration is declared complete.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/common/violations.h"
#include "sim/dxe/call_counter.h"
#include "uefi/protocols/platform_callback_registry.h"
#include "uefi/status.h"

namespace sim {

// The registration record as checked: 24 bytes.
constexpr UINT32 kCallbackRecordSignature = 0x424D5350;  // "PSMB"
constexpr UINT32 kCallbackRecordVersion = 1;
constexpr UINT32 kCallbackRecordValue = 21;
constexpr UINTN kCallbackRecordSize = 24;

struct CallbackOutcome {
  bool ran = false;                 // a registered callback was called by this declaration
  EFI_STATUS status = EFI_SUCCESS;  // status of the (last) callback called
  size_t called = 0;                // callbacks called by this declaration
};

class CallbackRegistry {
 public:
  CallbackRegistry(Violations& violations, CallCounter& calls);
  CallbackRegistry(const CallbackRegistry&) = delete;
  CallbackRegistry& operator=(const CallbackRegistry&) = delete;

  PLATFORM_CALLBACK_REGISTRY* Protocol() { return &instance_.protocol; }

  // Register semantics: checks key GUID (the SMBIOS publish point), record pointer, size and fields;
  // a bad registration is EFI_INVALID_PARAMETER and a violation. A registration made after enumeration
  // was declared complete is called at once.
  EFI_STATUS Register(const EFI_GUID* key, const void* record, UINTN size);

  // Calls each registered callback once, in registration order. A second declaration calls nothing.
  CallbackOutcome DeclareEnumerationComplete();
  bool EnumerationComplete() const { return complete_; }

  // How a callback is called (default: directly). A driver running in an emulator sets one that runs the
  // callback's guest code.
  void SetInvoker(std::function<EFI_STATUS(PLATFORM_CALLBACK)> invoker) { invoker_ = std::move(invoker); }

  size_t Registrations() const { return callbacks_.size(); }
  const std::vector<std::string>& Refusals() const { return refusals_; }
  // The outcome of each callback run so far.
  const std::vector<EFI_STATUS>& CallbackStatuses() const { return statuses_; }

 private:
  struct Instance {
    PLATFORM_CALLBACK_REGISTRY protocol;  // first member
    CallbackRegistry* registry;
  };
  EFI_STATUS Refuse(std::string why);
  EFI_STATUS Invoke(PLATFORM_CALLBACK callback) { return invoker_ ? invoker_(callback) : callback(); }

  Violations& violations_;
  CallCounter& calls_;
  Instance instance_;
  std::vector<PLATFORM_CALLBACK> callbacks_;
  std::vector<EFI_STATUS> statuses_;
  std::vector<std::string> refusals_;
  bool complete_ = false;
  std::function<EFI_STATUS(PLATFORM_CALLBACK)> invoker_;

  friend struct RegistryThunks;
};

}  // namespace sim
