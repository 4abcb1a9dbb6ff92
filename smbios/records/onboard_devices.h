// Onboard Devices Extended Information (type 41) records for the BMC video and onboard LAN controllers.
#pragma once
#include "uefi/base_types.h"

// Publishes the video and the LAN record, each followed by its type 40 record. EFI_OUT_OF_RESOURCES (and
// nothing published) when the record buffer cannot be allocated; otherwise EFI_SUCCESS.
EFI_STATUS PublishOnboardDevices(VOID);
