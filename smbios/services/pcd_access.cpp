// The PCD protocol, located once and cached in the module state.
#include "smbios/services/pcd_access.h"

#include "smbios/entry/driver_state.h"
#include "smbios/services/protocol_lookup.h"

namespace {
constexpr EFI_GUID kPcdProtocolGuid = PCD_PROTOCOL_GUID;
}

PCD_PROTOCOL *GetPcdProtocol(VOID) {
  VOID **cache = DriverProtocolCache(CachedPcd);
  LocateCachedProtocol(&kPcdProtocolGuid, cache);
  return static_cast<PCD_PROTOCOL *>(*cache);
}
