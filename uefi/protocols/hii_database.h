// EFI_HII_DATABASE_PROTOCOL and the package list header, from the published layouts.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"
#include "uefi/system_table.h"

#define EFI_HII_DATABASE_PROTOCOL_GUID                                             \
  {                                                                                \
    0xEF9FC172, 0xA1B2, 0x4693, { 0xB3, 0x27, 0x6D, 0x32, 0xFC, 0x41, 0x60, 0x42 } \
  }

typedef VOID *EFI_HII_HANDLE;

#pragma pack(push, 1)
struct EFI_HII_PACKAGE_LIST_HEADER {
  EFI_GUID PackageListGuid;
  UINT32 PackageLength;
};
#pragma pack(pop)
static_assert(sizeof(EFI_HII_PACKAGE_LIST_HEADER) == 20, "package list header is 20 bytes");

#define EFI_HII_PACKAGE_STRINGS 0x04
#define EFI_HII_PACKAGE_END 0xDF

struct EFI_HII_DATABASE_PROTOCOL;

typedef EFI_STATUS(EFIAPI *EFI_HII_DATABASE_NEW_PACK)(IN const EFI_HII_DATABASE_PROTOCOL *This,
                                                      IN const EFI_HII_PACKAGE_LIST_HEADER *PackageList,
                                                      IN EFI_HANDLE DriverHandle OPTIONAL, OUT EFI_HII_HANDLE *Handle);

struct EFI_HII_DATABASE_PROTOCOL {
  EFI_HII_DATABASE_NEW_PACK NewPackageList;
  EFI_UNTYPED_SERVICE RemovePackageList;
  EFI_UNTYPED_SERVICE UpdatePackageList;
  EFI_UNTYPED_SERVICE ListPackageLists;
  EFI_UNTYPED_SERVICE ExportPackageLists;
  EFI_UNTYPED_SERVICE RegisterPackageNotify;
  EFI_UNTYPED_SERVICE UnregisterPackageNotify;
  EFI_UNTYPED_SERVICE FindKeyboardLayouts;
  EFI_UNTYPED_SERVICE GetKeyboardLayout;
  EFI_UNTYPED_SERVICE SetKeyboardLayout;
  EFI_UNTYPED_SERVICE GetPackageListHandle;
};
