// The DXE entry point of the platform SMBIOS driver.
#pragma once
#include "uefi/base_types.h"
#include "uefi/system_table.h"

extern "C" EFI_STATUS EFIAPI PlatformSmbiosDriverEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);
