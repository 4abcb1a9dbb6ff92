// The SMBIOS protocol, located once and kept in the module state's one cache for it.
#pragma once
#include "uefi/base_types.h"
#include "uefi/protocols/smbios.h"

// The protocol, or null with *Status the LocateProtocol status while it is not installed (a later call tries
// again). *Status is EFI_SUCCESS when the protocol is returned.
EFI_SMBIOS_PROTOCOL *GetSmbiosProtocol(EFI_STATUS *Status);
