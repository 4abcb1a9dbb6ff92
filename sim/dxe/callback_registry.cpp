// The platform callback registry: checked "PSMB" registrations, called once at enumeration complete.
#include "sim/dxe/callback_registry.h"

#include <cstdio>
#include <cstring>

#include "sim/common/hex_text.h"
#include "sim/dxe/protocol_names.h"
#include "sim/dxe/unimplemented_service.h"

namespace sim {

namespace {

uint32_t ReadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

struct RegistryThunks {
  static EFI_STATUS EFIAPI Register(PLATFORM_CALLBACK_REGISTRY* self, EFI_GUID* key, VOID* record, UINTN size) {
    if (self == nullptr) return EFI_INVALID_PARAMETER;
    CallbackRegistry* registry = reinterpret_cast<CallbackRegistry::Instance*>(self)->registry;
    registry->calls_.Bump("Registry.Register");
    return registry->Register(key, record, size);
  }
};

CallbackRegistry::CallbackRegistry(Violations& violations, CallCounter& calls)
    : violations_(violations), calls_(calls) {
  instance_.protocol.Reserved0 = UnimplementedService("PlatformCallbackRegistry member 0 (reserved)");
  instance_.protocol.Reserved1 = UnimplementedService("PlatformCallbackRegistry member 1 (reserved)");
  instance_.protocol.Register = &RegistryThunks::Register;
  instance_.registry = this;
}

EFI_STATUS CallbackRegistry::Refuse(std::string why) {
  std::string message = "PlatformCallbackRegistry registration refused: " + why;
  refusals_.push_back(message);
  violations_.Report(message);
  return EFI_INVALID_PARAMETER;
}

EFI_STATUS CallbackRegistry::Register(const EFI_GUID* key, const void* record, UINTN size) {
  static const EFI_GUID kPublishPoint = SMBIOS_PUBLISH_POINT_GUID;
  if (key == nullptr) return Refuse("null key GUID");
  if (!GuidEqual(key, &kPublishPoint)) {
    return Refuse("key GUID " + GuidToString(*key) + " is not the SMBIOS publish point " + GuidToString(kPublishPoint));
  }
  if (record == nullptr) return Refuse("null record pointer");
  if (size != kCallbackRecordSize) {
    return Refuse("record size " + std::to_string(size) + ", expected " + std::to_string(kCallbackRecordSize));
  }
  const auto* bytes = static_cast<const uint8_t*>(record);
  if (ReadU32(bytes) != kCallbackRecordSignature) {
    return Refuse("signature " + Hex(ReadU32(bytes), 8) + ", expected " + Hex(kCallbackRecordSignature, 8) +
                  " (\"PSMB\")");
  }
  if (ReadU32(bytes + 4) != kCallbackRecordVersion) {
    return Refuse("version " + std::to_string(ReadU32(bytes + 4)) + ", expected 1");
  }
  if (ReadU32(bytes + 8) != kCallbackRecordValue) {
    return Refuse("value at offset 8 is " + std::to_string(ReadU32(bytes + 8)) + ", expected 21");
  }
  if (ReadU32(bytes + 12) != 0) return Refuse("field at offset 12 is " + Hex(ReadU32(bytes + 12), 8) + ", expected 0");
  uint64_t entry;
  std::memcpy(&entry, bytes + 16, 8);
  if (entry == 0) return Refuse("null callback address at offset 16");
  auto callback = reinterpret_cast<PLATFORM_CALLBACK>(static_cast<uintptr_t>(entry));
  callbacks_.push_back(callback);
  if (complete_) {
    // The publish point has passed: a late registration runs at once.
    calls_.Bump("Registry.Callback");
    statuses_.push_back(Invoke(callback));
  }
  return EFI_SUCCESS;
}

CallbackOutcome CallbackRegistry::DeclareEnumerationComplete() {
  CallbackOutcome outcome;
  if (complete_) return outcome;
  complete_ = true;
  // Registrations made by a callback run at once (see Register), so only those present now are called here.
  const size_t count = callbacks_.size();
  for (size_t i = 0; i < count; ++i) {
    calls_.Bump("Registry.Callback");
    outcome.status = Invoke(callbacks_[i]);
    outcome.ran = true;
    ++outcome.called;
    statuses_.push_back(outcome.status);
  }
  return outcome;
}

}  // namespace sim
