// The PCD protocol, located once and cached in the module state.
#include "smbios/services/pcd_access.h"

#include "smbios/entry/driver_state.h"
#include "smbios/services/protocol_lookup.h"

namespace {
constexpr EFI_GUID kPcdProtocolGuid = PCD_PROTOCOL_GUID;
}

PCD_PROTOCOL *GetPcdProtocol(VOID) {
  LocateCachedProtocol(&kPcdProtocolGuid, reinterpret_cast<VOID **>(&gDriver.PcdProtocol));
  return gDriver.PcdProtocol;
}
