// The kind of card in a slot: the first type-0 PCI function below the root port that a class test matches.
#include "smbios/records/slot_classification.h"

#include "smbios/entry/driver_state.h"
#include "smbios/records/pci_config_window.h"
#include "uefi/status.h"

namespace {

constexpr UINT16 SecondaryBusRegister = 0x19;
constexpr UINT16 SubordinateBusRegister = 0x1A;
constexpr UINT32 HeaderTypeRegister = 0x0E;
constexpr UINT8 NoMatch = 255;

UINT16 Read16(EFI_PCI_IO_PROTOCOL *Io, UINT32 Offset) {
  UINT16 value = 0xFFFF;
  Io->Pci.Read(Io, EfiPciIoWidthUint16, Offset, 1, &value);
  return value;
}

BOOLEAN IsOneOf(UINT16 Value, const UINT16 *List, UINTN Count) {
  for (UINTN i = 0; i < Count; ++i) {
    if (List[i] == Value) return TRUE;
  }
  return FALSE;
}

UINT8 TestAccelerator(EFI_PCI_IO_PROTOCOL *Io) {
  static constexpr UINT16 AcceleratorDevices[] = {0x4B27, 0x4B2A, 0x4B2C, 0x4B33};
  UINT16 vendor = Read16(Io, 0x00);
  UINT16 device = Read16(Io, 0x02);
  if (vendor == 0x10DE || vendor == 0x1002) return SlotClassAccelerator;
  if (vendor == 0x7A3B && IsOneOf(device, AcceleratorDevices, sizeof AcceleratorDevices / sizeof AcceleratorDevices[0]))
    return SlotClassAccelerator;
  return NoMatch;
}

// Network and fabric share one read: programming interface, subclass, base class.
UINT8 TestNetworkOrFabric(EFI_PCI_IO_PROTOCOL *Io, UINT8 Wanted) {
  UINT8 classCode[3] = {0xFF, 0xFF, 0xFF};
  Io->Pci.Read(Io, EfiPciIoWidthUint8, 0x09, 3, classCode);
  if (classCode[2] != 0x02) return NoMatch;
  BOOLEAN fabric = classCode[1] == 0x07 || classCode[1] == 0x80;
  if (Wanted == SlotClassFabric) return fabric ? static_cast<UINT8>(SlotClassFabric) : NoMatch;
  return fabric ? NoMatch : static_cast<UINT8>(SlotClassNetwork);
}

UINT8 TestStorage(EFI_PCI_IO_PROTOCOL *Io) {
  UINT16 vendor = Read16(Io, 0x00);
  UINT16 device = Read16(Io, 0x02);
  return vendor == 0x1000 && device != 0x006E ? static_cast<UINT8>(SlotClassStorage) : NoMatch;
}

UINT8 TestBoardCard(EFI_PCI_IO_PROTOCOL *Io) {
  static constexpr UINT32 BoardCards[] = {0x5E191E6D, 0x6D021E6D, 0x4C531E6D};
  UINT32 ids = 0xFFFFFFFF;
  Io->Pci.Read(Io, EfiPciIoWidthUint32, 0x00, 1, &ids);
  for (UINT32 card : BoardCards) {
    if (ids == card) return SlotClassBoardCard;
  }
  return NoMatch;
}

// The five class tests in their fixed order; the first match decides.
UINT8 Classify(EFI_PCI_IO_PROTOCOL *Io) {
  UINT8 found = TestAccelerator(Io);
  if (found == NoMatch) found = TestNetworkOrFabric(Io, SlotClassNetwork);
  if (found == NoMatch) found = TestNetworkOrFabric(Io, SlotClassFabric);
  if (found == NoMatch) found = TestStorage(Io);
  if (found == NoMatch) found = TestBoardCard(Io);
  return found;
}

}  // namespace

SlotDeviceClass ClassifySlotDevice(UINT8 Segment, UINT8 Bus, UINT8 Device, EFI_PCI_IO_PROTOCOL **Card) {
  *Card = nullptr;
  UINT8 secondary = PciConfigRead8(Bus, Device, 0, SecondaryBusRegister);
  UINT8 subordinate = PciConfigRead8(Bus, Device, 0, SubordinateBusRegister);

  EFI_BOOT_SERVICES *bs = gDriver.BootServices;
  EFI_GUID pciIoGuid = EFI_PCI_IO_PROTOCOL_GUID;
  UINTN count = 0;
  EFI_HANDLE *handles = nullptr;
  if (EFI_ERROR(bs->LocateHandleBuffer(ByProtocol, &pciIoGuid, nullptr, &count, &handles))) {
    return SlotClassNone;
  }
  SlotDeviceClass result = SlotClassNone;
  for (UINTN i = 0; i < count; ++i) {
    EFI_PCI_IO_PROTOCOL *io = nullptr;
    bs->HandleProtocol(handles[i], &pciIoGuid, reinterpret_cast<VOID **>(&io));
    if (io == nullptr) continue;
    UINTN segment = ~static_cast<UINTN>(0);
    UINTN bus = ~static_cast<UINTN>(0);
    UINTN device = 0;
    UINTN function = 0;
    if (EFI_ERROR(io->GetLocation(io, &segment, &bus, &device, &function))) continue;
    // Matching the segment as well keeps a card of another segment with the same bus number out.
    if (segment != Segment || bus < secondary || bus > subordinate) continue;
    UINT8 headerType = 0xFF;
    io->Pci.Read(io, EfiPciIoWidthUint8, HeaderTypeRegister, 1, &headerType);
    if ((headerType & 0x7F) != 0) continue;
    *Card = io;
    UINT8 found = Classify(io);
    if (found != NoMatch) {
      result = static_cast<SlotDeviceClass>(found);
      break;
    }
  }
  bs->FreePool(handles);
  return result;
}
