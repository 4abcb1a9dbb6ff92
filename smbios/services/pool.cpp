// Boot-services pool buffers for the driver's record builders.
#include "smbios/services/pool.h"

#include "smbios/entry/driver_state.h"
#include "smbios/services/text_and_memory.h"
#include "uefi/status.h"

VOID *AllocateBuffer(UINTN Size) {
  if (DriverBootServices() == nullptr) return nullptr;
  VOID *buffer = nullptr;
  EFI_STATUS status = DriverBootServices()->AllocatePool(EfiBootServicesData, Size, &buffer);
  if (EFI_ERROR(status)) return nullptr;
  return buffer;
}

VOID *AllocateZeroed(UINTN Size) {
  VOID *buffer = AllocateBuffer(Size);
  if (buffer != nullptr && Size != 0) ZeroMemory(buffer, Size);
  return buffer;
}

VOID FreeBuffer(VOID *Buffer) {
  if (Buffer == nullptr || DriverBootServices() == nullptr) return;
  DriverBootServices()->FreePool(Buffer);
}
