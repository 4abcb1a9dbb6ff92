// The one walk over the PCI I/O instances, in the order LocateHandleBuffer returns their handles, and the
// sized configuration reads through an instance.
#pragma once
#include "uefi/base_types.h"
#include "uefi/protocols/pci_io.h"

struct PciIoLocation {
  UINTN Segment;
  UINTN Bus;
  UINTN Device;
  UINTN Function;
};

// Answers TRUE to stop the walk at this instance.
typedef BOOLEAN (*PciIoVisitor)(EFI_PCI_IO_PROTOCOL *PciIo, const PciIoLocation *Location, VOID *Context);

// Calls Visit for every instance that opens (HandleProtocol) and reports its location (GetLocation); an
// instance that does neither is passed over. The handle buffer is released before returning. Returns the
// instance at which Visit stopped the walk, or null (also when there are no handles).
EFI_PCI_IO_PROTOCOL *WalkPciIoInstances(PciIoVisitor Visit, VOID *Context);

// Pci.Read of one item at Offset; a read that fails leaves all ones.
UINT8 PciIoRead8(EFI_PCI_IO_PROTOCOL *PciIo, UINT32 Offset);
UINT16 PciIoRead16(EFI_PCI_IO_PROTOCOL *PciIo, UINT32 Offset);
UINT32 PciIoRead32(EFI_PCI_IO_PROTOCOL *PciIo, UINT32 Offset);
