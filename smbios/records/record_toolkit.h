// Operations every SMBIOS record builder shares: strings, sizes, adding, finding and removing records.
#pragma once
#include "uefi/base_types.h"
#include "uefi/protocols/smbios.h"

#pragma pack(push, 1)
// Where a PCI function sits, as the system slot and onboard device records end.
struct SmbiosPciLocation {
  UINT16 SegmentGroupNumber;
  UINT8 BusNumber;
  UINT8 DeviceFunctionNumber;  // device in bits 3-7, function in bits 0-2
};
#pragma pack(pop)
static_assert(sizeof(SmbiosPciLocation) == 4 && __builtin_offsetof(SmbiosPciLocation, BusNumber) == 2 &&
                  __builtin_offsetof(SmbiosPciLocation, DeviceFunctionNumber) == 3,
              "segment, bus, device/function");

constexpr UINTN SmbiosRecordBufferSize = 768;  // the work buffer a builder allocates per record

EFI_STATUS GetRecordSize(const EFI_SMBIOS_TABLE_HEADER *Record, UINTN *Size);
EFI_STATUS SetRecordString(EFI_SMBIOS_TABLE_HEADER *Record, UINTN StringNumber, const CHAR16 *Text);
EFI_STATUS AddRecord(EFI_SMBIOS_TABLE_HEADER *Record);
EFI_STATUS FindFirstRecordOfType(UINT8 Type, EFI_SMBIOS_HANDLE *Handle);
EFI_STATUS RemoveFirstRecordOfType(UINT8 Type);
EFI_STATUS RemoveAllRecordsOfType(UINT8 Type);
