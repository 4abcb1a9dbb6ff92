// Protocol lookups through the boot services, with the per-user caches the driver keeps.
#include "smbios/services/protocol_lookup.h"

#include "smbios/entry/driver_state.h"
#include "uefi/status.h"

EFI_STATUS LocateProtocolInterface(const EFI_GUID *Protocol, VOID **Interface) {
  *Interface = nullptr;
  if (DriverBootServices() == nullptr) return EFI_NOT_READY;
  EFI_GUID guid = *Protocol;  // the service takes a non-const GUID pointer
  VOID *found = nullptr;
  EFI_STATUS status = DriverBootServices()->LocateProtocol(&guid, nullptr, &found);
  if (EFI_ERROR(status)) return status;
  if (found == nullptr) return EFI_NOT_FOUND;
  *Interface = found;
  return status;
}

EFI_STATUS LocateCachedProtocol(const EFI_GUID *Protocol, VOID **Cache) {
  if (*Cache != nullptr) return EFI_SUCCESS;
  VOID *found = nullptr;
  EFI_STATUS status = LocateProtocolInterface(Protocol, &found);
  *Cache = found;  // null after a failed lookup, so the cache stays empty
  return status;
}

EFI_STATUS HandleProtocolInterface(EFI_HANDLE Handle, const EFI_GUID *Protocol, VOID **Interface) {
  *Interface = nullptr;
  if (DriverBootServices() == nullptr) return EFI_NOT_READY;
  EFI_GUID guid = *Protocol;
  VOID *found = nullptr;
  EFI_STATUS status = DriverBootServices()->HandleProtocol(Handle, &guid, &found);
  if (EFI_ERROR(status)) return status;
  *Interface = found;
  return status;
}
