// The System Slots (type 9) record of one slot, followed by its Additional Information record.
#pragma once
#include "smbios/board/slot_table.h"
#include "uefi/base_types.h"

EFI_STATUS BuildSlotRecord(const SlotEntry *Entry);
