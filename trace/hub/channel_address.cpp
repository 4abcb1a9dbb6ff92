// Decides afresh on every call whether the trace hub may be used; nothing is cached (no writable data).
#include "trace/hub/channel_address.h"

#include "hw/mmio.h"
#include "trace/hub/power_mgmt_base.h"
#include "uefi/status.h"

UINT32 ResolveChannelAddress(UINT16 Master, UINT16 Channel) {
  UINT32 PowerMgmtBase = 0;
  if (EFI_ERROR(ReadPowerMgmtBase(&PowerMgmtBase))) {
    return 0;
  }
  // An unprogrammed base (0) would put the disable byte in low memory, and an all-ones dword (a PMC that
  // stopped answering after its vendor ID was read) in the flash region: neither is a PMC register.
  if (PowerMgmtBase == 0 || PowerMgmtBase == PmcPowerMgmtBaseMask) {
    return 0;
  }
  if ((MmioRead8(static_cast<UINTN>(PowerMgmtBase) + PmcTraceHubDisableOffset) & PmcTraceHubDisableBit) != 0) {
    return 0;
  }
  if (MmioRead32(TraceHubWindowBase) == TraceHubProbeUndecoded) {
    return 0;
  }
  if (Master < TraceHubFirstMaster) {
    return 0;
  }
  return TraceHubWindowBase + (static_cast<UINT32>(Master) - TraceHubFirstMaster) * TraceHubMasterSize +
         static_cast<UINT32>(Channel) * TraceHubChannelSize;
}
