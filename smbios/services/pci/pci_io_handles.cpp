// The one walk over the PCI I/O instances, and the sized configuration reads through an instance.
#include "smbios/services/pci/pci_io_handles.h"

#include "smbios/entry/driver_state.h"
#include "uefi/status.h"

EFI_PCI_IO_PROTOCOL *WalkPciIoInstances(PciIoVisitor Visit, VOID *Context) {
  EFI_BOOT_SERVICES *bs = DriverBootServices();
  EFI_GUID guid = EFI_PCI_IO_PROTOCOL_GUID;
  UINTN count = 0;
  EFI_HANDLE *handles = nullptr;
  if (EFI_ERROR(bs->LocateHandleBuffer(ByProtocol, &guid, nullptr, &count, &handles)) || handles == nullptr) {
    return nullptr;
  }
  EFI_PCI_IO_PROTOCOL *stopped = nullptr;
  for (UINTN i = 0; i < count && stopped == nullptr; ++i) {
    EFI_PCI_IO_PROTOCOL *io = nullptr;
    bs->HandleProtocol(handles[i], &guid, reinterpret_cast<VOID **>(&io));
    if (io == nullptr) continue;
    PciIoLocation at = {0, 0, 0, 0};
    if (EFI_ERROR(io->GetLocation(io, &at.Segment, &at.Bus, &at.Device, &at.Function))) continue;
    if (Visit(io, &at, Context)) stopped = io;
  }
  bs->FreePool(handles);
  return stopped;
}

UINT8 PciIoRead8(EFI_PCI_IO_PROTOCOL *PciIo, UINT32 Offset) {
  UINT8 value = 0xFF;
  PciIo->Pci.Read(PciIo, EfiPciIoWidthUint8, Offset, 1, &value);
  return value;
}

UINT16 PciIoRead16(EFI_PCI_IO_PROTOCOL *PciIo, UINT32 Offset) {
  UINT16 value = 0xFFFF;
  PciIo->Pci.Read(PciIo, EfiPciIoWidthUint16, Offset, 1, &value);
  return value;
}

UINT32 PciIoRead32(EFI_PCI_IO_PROTOCOL *PciIo, UINT32 Offset) {
  UINT32 value = 0xFFFFFFFF;
  PciIo->Pci.Read(PciIo, EfiPciIoWidthUint32, Offset, 1, &value);
  return value;
}
