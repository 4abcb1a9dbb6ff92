// Builds an HII package list from package blobs and registers it with the HII database.
#include "smbios/entry/hii_package_list.h"

#include "smbios/entry/driver_state.h"
#include "smbios/services/pool.h"
#include "smbios/services/text_and_memory.h"
#include "uefi/status.h"

namespace {

constexpr UINTN BlobLengthField = 4;
constexpr UINTN ListHeaderSize = sizeof(EFI_HII_PACKAGE_LIST_HEADER);
constexpr UINT8 EndPackage[4] = {0x04, 0x00, 0x00, EFI_HII_PACKAGE_END};
constexpr UINT32 LargestList = 0xFFFFFFFFu;

// Total package bytes of all blobs; FALSE for a blob shorter than its length word or a list that would not
// fit a u32 PackageLength.
BOOLEAN SumPackageBytes(const UINT8 *const *Blobs, UINTN *Sum) {
  UINTN sum = 0;
  for (UINTN i = 0; Blobs[i] != nullptr; ++i) {
    UINT32 length = ReadLittleEndian32(Blobs[i]);
    if (length < BlobLengthField) return FALSE;
    sum += length - BlobLengthField;
    if (sum > LargestList - ListHeaderSize - sizeof(EndPackage)) return FALSE;
  }
  *Sum = sum;
  return TRUE;
}

}  // namespace

// Returns null, without allocating, when there is no HII database or a blob is malformed.
EFI_HII_HANDLE RegisterPackageList(const EFI_GUID *PackageListGuid, EFI_HANDLE DriverHandle,
                                   const UINT8 *const *Blobs) {
  auto *database = static_cast<EFI_HII_DATABASE_PROTOCOL *>(*DriverProtocolCache(CachedHiiDatabase));
  if (PackageListGuid == nullptr || Blobs == nullptr || database == nullptr) return nullptr;
  UINTN sum = 0;
  if (!SumPackageBytes(Blobs, &sum) || sum == 0) return nullptr;

  UINTN total = sum + ListHeaderSize + sizeof(EndPackage);
  UINT8 *list = static_cast<UINT8 *>(AllocateZeroed(total));
  if (list == nullptr) return nullptr;

  EFI_HII_PACKAGE_LIST_HEADER *header = reinterpret_cast<EFI_HII_PACKAGE_LIST_HEADER *>(list);
  CopyMemory(&header->PackageListGuid, PackageListGuid, sizeof(EFI_GUID));
  header->PackageLength = static_cast<UINT32>(total);
  UINT8 *at = list + ListHeaderSize;
  for (UINTN i = 0; Blobs[i] != nullptr; ++i) {
    UINTN length = ReadLittleEndian32(Blobs[i]) - BlobLengthField;
    CopyMemory(at, Blobs[i] + BlobLengthField, length);
    at += length;
  }
  CopyMemory(at, EndPackage, sizeof(EndPackage));

  EFI_HII_HANDLE handle = nullptr;
  EFI_STATUS status = database->NewPackageList(database, header, DriverHandle, &handle);
  FreeBuffer(list);
  return EFI_ERROR(status) ? nullptr : handle;
}
