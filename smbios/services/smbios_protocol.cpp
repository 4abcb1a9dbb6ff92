// The SMBIOS protocol, located once and kept in the module state's one cache for it.
#include "smbios/services/smbios_protocol.h"

#include "smbios/entry/driver_state.h"
#include "smbios/services/protocol_lookup.h"
#include "uefi/status.h"

namespace {
constexpr EFI_GUID kSmbiosProtocolGuid = EFI_SMBIOS_PROTOCOL_GUID;
}

EFI_SMBIOS_PROTOCOL *GetSmbiosProtocol(EFI_STATUS *Status) {
  VOID **cache = DriverProtocolCache(CachedSmbios);
  *Status = LocateCachedProtocol(&kSmbiosProtocolGuid, cache);
  return EFI_ERROR(*Status) ? nullptr : static_cast<EFI_SMBIOS_PROTOCOL *>(*cache);
}
