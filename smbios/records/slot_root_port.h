// Where a slot's root port sits and whether the PCI Express link behind it is up.
#pragma once
#include "smbios/board/slot_table.h"
#include "uefi/base_types.h"

// EFI_NOT_READY while SocketBusLayout is not valid; GetStackBus's status when the stack is absent.
EFI_STATUS FindSlotRootPort(const SlotEntry *Entry, UINT8 *Segment, UINT8 *Bus, UINT8 *Device);

// Data Link Layer Link Active of function 0 of the device; false without a device or PCI Express capability.
BOOLEAN IsLinkActive(UINT8 Bus, UINT8 Device);
