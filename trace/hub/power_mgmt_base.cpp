// Reads the PMC's power-management base through the register-access service and its config space.
#include "trace/hub/power_mgmt_base.h"

#include "hw/mmio.h"
#include "regaccess/register_access.h"
#include "uefi/status.h"

EFI_STATUS ReadPowerMgmtBase(UINT32 *Base) {
  if (Base == NULL) {
    return EFI_INVALID_PARAMETER;
  }
  RegisterAddress Record = PmcConfigRecord;
  UINTN Config = RegisterGetAddress(&Record);
  if (MmioRead16(Config + PmcVendorIdOffset) == 0xFFFF) {
    return EFI_UNSUPPORTED;
  }
  *Base = MmioRead32(Config + PmcPowerMgmtBaseOffset) & PmcPowerMgmtBaseMask;
  return EFI_SUCCESS;
}
