// Onboard Devices Extended Information (type 41) records for the BMC video and onboard LAN controllers.
#include "smbios/records/onboard_devices.h"

#include "uefi/status.h"

// Placeholder: no onboard device records are published yet.
EFI_STATUS PublishOnboardDevices(VOID) { return EFI_SUCCESS; }
