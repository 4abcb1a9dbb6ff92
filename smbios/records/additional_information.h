// The Additional Information (type 40) record that follows each slot and onboard device record.
#pragma once
#include "smbios/board/slot_table.h"
#include "uefi/base_types.h"
#include "uefi/protocols/pci_io.h"
#include "uefi/protocols/smbios.h"

// Subsystem vendor whose add-in cards carry their VPD in the record.
constexpr UINT16 VpdCardSubsystemVendor = 0x1E6D;
// Most VPD bytes the record can hold (its Length byte is 33 + the VPD length).
constexpr UINTN MaxRecordVpdBytes = 222;

// Card and Slot may be null (empty slot; onboard device). Publishes nothing and returns EFI_OUT_OF_RESOURCES
// when the work buffer cannot be allocated; otherwise EFI_SUCCESS.
EFI_STATUS PublishAdditionalInformation(EFI_SMBIOS_HANDLE ReferencedHandle, EFI_PCI_IO_PROTOCOL *Card,
                                        const SlotEntry *Slot);
