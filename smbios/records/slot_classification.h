// The kind of card in a slot, found among the PCI I/O instances below the slot's root port.
#pragma once
#include "smbios/board/device_rules.h"
#include "uefi/base_types.h"
#include "uefi/protocols/pci_io.h"

// Classifies the type-0 functions whose bus lies in the root port's secondary..subordinate range and whose
// segment is the root port's. *Card receives the first classified function, else the last type-0 function met,
// else null.
SlotDeviceClass ClassifySlotDevice(UINT8 Segment, UINT8 Bus, UINT8 Device, EFI_PCI_IO_PROTOCOL **Card);
