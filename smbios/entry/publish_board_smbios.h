// The publishing callback: amends, removes, rebuilds and adds the board's SMBIOS records in a fixed order.
#pragma once
#include "uefi/base_types.h"

// Called once by the platform callback registry after PCI enumeration. Returns EFI_SUCCESS when the slot
// table has at least one entry, else EFI_NOT_FOUND; the other steps' statuses are not passed on.
EFI_STATUS EFIAPI PublishBoardSmbios(VOID);
