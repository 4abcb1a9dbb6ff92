// Rewriting the "VB" keyword of a VPD image's writable (VPD-W) resource to name the slot.
#pragma once
#include "smbios/board/slot_table.h"
#include "uefi/base_types.h"

// EFI_SUCCESS when "VB" was found and rewritten, EFI_NOT_FOUND otherwise (also when its data is shorter than
// two bytes or runs past the image). Only the image in memory changes.
EFI_STATUS PatchVpdSlotKeyword(const SlotEntry *Slot, UINT8 *Image, UINTN Length);
