// Onboard Devices Extended Information (type 41) records for the BMC video and onboard LAN controllers.
#pragma once
#include "uefi/base_types.h"

EFI_STATUS PublishOnboardDevices(VOID);
