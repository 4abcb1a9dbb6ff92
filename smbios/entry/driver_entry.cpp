// The DXE entry point: module state, configuration values, board tables, string package, and the
// registration of PublishBoardSmbios with the platform callback registry.
#include "smbios/entry/driver_entry.h"

#include "smbios/board/slot_table.h"
#include "smbios/board/string_package.h"
#include "smbios/entry/driver_state.h"
#include "smbios/entry/hii_package_list.h"
#include "smbios/entry/publish_board_smbios.h"
#include "smbios/entry/setup_configuration.h"
#include "smbios/services/pcd_access.h"
#include "smbios/services/protocol_lookup.h"
#include "smbios/services/text_and_memory.h"
#include "uefi/protocols/loaded_image.h"
#include "uefi/protocols/platform_callback_registry.h"
#include "uefi/status.h"

namespace {

constexpr EFI_GUID kHiiDatabaseGuid = EFI_HII_DATABASE_PROTOCOL_GUID;
constexpr EFI_GUID kLoadedImageGuid = EFI_LOADED_IMAGE_PROTOCOL_GUID;
constexpr EFI_GUID kCallbackRegistryGuid = PLATFORM_CALLBACK_REGISTRY_GUID;
constexpr EFI_GUID kSmbiosPublishPointGuid = SMBIOS_PUBLISH_POINT_GUID;
constexpr UINTN kFileNameGuidOffset = 4;  // in the firmware-volume file node that starts the image's path

// Copies PCD token 30 into SocketBusLayout. A value longer than the record is cut to the record's size;
// a missing value leaves the record zero (not valid).
VOID LoadSocketBusLayout(PCD_PROTOCOL *Pcd) {
  const VOID *source = Pcd->GetPtr(PcdTokenSocketBusLayout);
  UINTN size = Pcd->GetSize(PcdTokenSocketBusLayout);
  if (size == 0 || source == nullptr) return;
  if (size > sizeof(SocketBusLayoutRecord)) size = sizeof(SocketBusLayoutRecord);
  CopyMemory(DriverSocketBusLayoutForUpdate(), source, size);
}

// The driver's file name GUID, from the first node of the loaded image's file path. FALSE when the path
// is missing or its first node is too short to hold the GUID.
BOOLEAN ReadFileNameGuid(const EFI_LOADED_IMAGE_PROTOCOL *Image, EFI_GUID *Guid) {
  const EFI_DEVICE_PATH_PROTOCOL *node = Image->FilePath;
  if (node == nullptr) return FALSE;
  UINTN length = node->Length[0] | (static_cast<UINTN>(node->Length[1]) << 8);
  if (length < kFileNameGuidOffset + sizeof(EFI_GUID)) return FALSE;
  CopyMemory(Guid, reinterpret_cast<const UINT8 *>(node) + kFileNameGuidOffset, sizeof(EFI_GUID));
  return TRUE;
}

VOID RegisterStringPackage(const EFI_LOADED_IMAGE_PROTOCOL *Image) {
  EFI_GUID packageListGuid;
  if (!ReadFileNameGuid(Image, &packageListGuid)) return;
  const UINT8 *const blobs[] = {DriverStringPackageBlob, nullptr};
  DriverSetHiiHandle(RegisterPackageList(&packageListGuid, DriverImageHandle(), blobs));
}

EFI_STATUS RegisterPublishCallback(VOID) {
  CallbackRegistration *record = DriverCallbackRegistration();
  ZeroMemory(record, sizeof(*record));
  record->Signature = CallbackRegistrationSignature;
  record->Version = CallbackRegistrationVersion;
  record->Value = CallbackRegistrationValue;
  record->Callback = reinterpret_cast<UINT64>(&PublishBoardSmbios);

  VOID **cache = DriverProtocolCache(CachedCallbackRegistry);
  EFI_STATUS status = LocateCachedProtocol(&kCallbackRegistryGuid, cache);
  if (EFI_ERROR(status)) return status;
  auto *registry = static_cast<PLATFORM_CALLBACK_REGISTRY *>(*cache);
  EFI_GUID key = kSmbiosPublishPointGuid;
  return registry->Register(registry, &key, record, sizeof(*record));
}

}  // namespace

extern "C" EFI_STATUS EFIAPI PlatformSmbiosDriverEntry(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  if (SystemTable == nullptr || SystemTable->BootServices == nullptr) return EFI_INVALID_PARAMETER;
  DriverAttach(ImageHandle, SystemTable);

  // Both configuration values come from the PCD protocol; without it nothing the driver builds is right.
  PCD_PROTOCOL *pcd = GetPcdProtocol();
  if (pcd == nullptr) return EFI_NOT_FOUND;
  DriverSetEcamBase(pcd->Get64(PcdTokenEcamBase));
  LoadSocketBusLayout(pcd);
  LocateCachedProtocol(&kHiiDatabaseGuid, DriverProtocolCache(CachedHiiDatabase));
  LoadSetupConfiguration(DriverSetupConfiguration());
  BuildBoardTables();

  EFI_LOADED_IMAGE_PROTOCOL *image = nullptr;
  EFI_STATUS status = HandleProtocolInterface(ImageHandle, &kLoadedImageGuid, reinterpret_cast<VOID **>(&image));
  if (EFI_ERROR(status)) return status;
  if (image == nullptr) return EFI_NOT_FOUND;
  RegisterStringPackage(image);

  return RegisterPublishCallback();
}
