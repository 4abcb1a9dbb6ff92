// The platform callback registry: a platform protocol that calls registered callbacks at a publish point.
// The driver calls only its third member.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"
#include "uefi/system_table.h"

#define PLATFORM_CALLBACK_REGISTRY_GUID                                            \
  {                                                                                \
    0xE03E0D46, 0x5263, 0x4845, { 0xB0, 0xA4, 0x58, 0xD5, 0x7B, 0x31, 0x77, 0xE2 } \
  }
// Publish point after PCI enumeration at which the SMBIOS callback runs.
#define SMBIOS_PUBLISH_POINT_GUID                                                  \
  {                                                                                \
    0xAAC6CAFD, 0x42C6, 0x440A, { 0xB9, 0x58, 0x9F, 0xD4, 0xC8, 0x4B, 0x50, 0xEA } \
  }

struct PLATFORM_CALLBACK_REGISTRY;

typedef EFI_STATUS(EFIAPI *PLATFORM_CALLBACK_REGISTER)(IN PLATFORM_CALLBACK_REGISTRY *This, IN EFI_GUID *Key,
                                                       IN VOID *Record, IN UINTN RecordSize);

struct PLATFORM_CALLBACK_REGISTRY {
  EFI_UNTYPED_SERVICE Reserved0;
  EFI_UNTYPED_SERVICE Reserved1;
  PLATFORM_CALLBACK_REGISTER Register;
};

// The callback a registration record names; it takes no arguments the driver reads.
typedef EFI_STATUS(EFIAPI *PLATFORM_CALLBACK)(VOID);
