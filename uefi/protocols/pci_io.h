// EFI_PCI_IO_PROTOCOL, from the published layout.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"
#include "uefi/system_table.h"

#define EFI_PCI_IO_PROTOCOL_GUID                                                   \
  {                                                                                \
    0x4CF5B200, 0x68B8, 0x4CA5, { 0x9E, 0xEC, 0xB2, 0x3E, 0x3F, 0x50, 0x02, 0x9A } \
  }

enum EFI_PCI_IO_PROTOCOL_WIDTH : UINT32 {
  EfiPciIoWidthUint8 = 0,
  EfiPciIoWidthUint16 = 1,
  EfiPciIoWidthUint32 = 2,
  EfiPciIoWidthUint64 = 3,
  EfiPciIoWidthFifoUint8 = 4,
  EfiPciIoWidthFifoUint16 = 5,
  EfiPciIoWidthFifoUint32 = 6,
  EfiPciIoWidthFifoUint64 = 7,
  EfiPciIoWidthFillUint8 = 8,
  EfiPciIoWidthFillUint16 = 9,
  EfiPciIoWidthFillUint32 = 10,
  EfiPciIoWidthFillUint64 = 11,
  EfiPciIoWidthMaximum = 12,
};

struct EFI_PCI_IO_PROTOCOL;

typedef EFI_STATUS(EFIAPI *EFI_PCI_IO_PROTOCOL_MEM)(IN EFI_PCI_IO_PROTOCOL *This, IN EFI_PCI_IO_PROTOCOL_WIDTH Width,
                                                    IN UINT8 BarIndex, IN UINT64 Offset, IN UINTN Count,
                                                    IN OUT VOID *Buffer);
typedef EFI_STATUS(EFIAPI *EFI_PCI_IO_PROTOCOL_CONFIG)(IN EFI_PCI_IO_PROTOCOL *This, IN EFI_PCI_IO_PROTOCOL_WIDTH Width,
                                                       IN UINT32 Offset, IN UINTN Count, IN OUT VOID *Buffer);
typedef EFI_STATUS(EFIAPI *EFI_PCI_IO_PROTOCOL_GET_LOCATION)(IN EFI_PCI_IO_PROTOCOL *This, OUT UINTN *SegmentNumber,
                                                             OUT UINTN *BusNumber, OUT UINTN *DeviceNumber,
                                                             OUT UINTN *FunctionNumber);

struct EFI_PCI_IO_PROTOCOL_ACCESS {
  EFI_PCI_IO_PROTOCOL_MEM Read;
  EFI_PCI_IO_PROTOCOL_MEM Write;
};

struct EFI_PCI_IO_PROTOCOL_CONFIG_ACCESS {
  EFI_PCI_IO_PROTOCOL_CONFIG Read;
  EFI_PCI_IO_PROTOCOL_CONFIG Write;
};

struct EFI_PCI_IO_PROTOCOL {
  EFI_UNTYPED_SERVICE PollMem;
  EFI_UNTYPED_SERVICE PollIo;
  EFI_PCI_IO_PROTOCOL_ACCESS Mem;
  EFI_PCI_IO_PROTOCOL_ACCESS Io;
  EFI_PCI_IO_PROTOCOL_CONFIG_ACCESS Pci;
  EFI_UNTYPED_SERVICE CopyMem;
  EFI_UNTYPED_SERVICE Map;
  EFI_UNTYPED_SERVICE Unmap;
  EFI_UNTYPED_SERVICE AllocateBuffer;
  EFI_UNTYPED_SERVICE FreeBuffer;
  EFI_UNTYPED_SERVICE Flush;
  EFI_PCI_IO_PROTOCOL_GET_LOCATION GetLocation;
  EFI_UNTYPED_SERVICE Attributes;
  EFI_UNTYPED_SERVICE GetBarAttributes;
  EFI_UNTYPED_SERVICE SetBarAttributes;
  UINT64 RomSize;
  VOID *RomImage;
};
