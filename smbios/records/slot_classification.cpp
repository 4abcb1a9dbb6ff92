// The kind of card in a slot: the first type-0 PCI function below the root port that a class test matches.
// The rules are the board's (smbios/board/device_rules.h); here are the reads each test makes.
#include "smbios/records/slot_classification.h"

#include "smbios/services/pci/pci_config_window.h"
#include "smbios/services/pci/pci_io_handles.h"
#include "smbios/services/pci/pci_registers.h"

namespace {

// Reads, through the instance, the identity bytes one test looks at (each test reads afresh).
VOID ReadForTest(SlotClassTest Test, EFI_PCI_IO_PROTOCOL *Io, CardIdentity *Id) {
  switch (Test) {
    case SlotTestAccelerator:
    case SlotTestStorage:
      Id->VendorId = PciIoRead16(Io, PciVendorIdRegister);
      Id->DeviceId = PciIoRead16(Io, PciDeviceIdRegister);
      return;
    case SlotTestNetwork:
    case SlotTestFabric: {
      // Programming interface, sub-class and base class in one read.
      UINT8 classCode[3] = {0xFF, 0xFF, 0xFF};
      Io->Pci.Read(Io, EfiPciIoWidthUint8, PciProgrammingInterfaceRegister, 3, classCode);
      Id->SubClass = classCode[1];
      Id->BaseClass = classCode[2];
      return;
    }
    case SlotTestBoardCard:
      Id->VendorDevice = PciIoRead32(Io, PciVendorIdRegister);
      return;
  }
}

// The tests in their fixed order, each on the bytes it has just read; the first match decides.
SlotDeviceClass Classify(EFI_PCI_IO_PROTOCOL *Io) {
  CardIdentity id = {0xFFFF, 0xFFFF, 0xFF, 0xFF, 0xFFFFFFFF};
  for (SlotClassTest test : SlotClassTestOrder) {
    ReadForTest(test, Io, &id);
    SlotDeviceClass found = MatchSlotClassTest(test, id);
    if (found != SlotClassNone) return found;
  }
  return SlotClassNone;
}

struct SlotSearch {
  UINTN Segment;
  UINT8 Secondary;
  UINT8 Subordinate;
  EFI_PCI_IO_PROTOCOL *Card;
  SlotDeviceClass Class;
};

BOOLEAN VisitSlotFunction(EFI_PCI_IO_PROTOCOL *Io, const PciIoLocation *At, VOID *Context) {
  SlotSearch *search = static_cast<SlotSearch *>(Context);
  // Matching the segment as well keeps a card of another segment with the same bus number out.
  if (At->Segment != search->Segment || At->Bus < search->Secondary || At->Bus > search->Subordinate) return FALSE;
  if (!PciIsOrdinaryFunction(PciIoRead8(Io, PciHeaderTypeRegister))) return FALSE;
  search->Card = Io;
  search->Class = Classify(Io);
  return search->Class != SlotClassNone;
}

}  // namespace

SlotDeviceClass ClassifySlotDevice(UINT8 Segment, UINT8 Bus, UINT8 Device, EFI_PCI_IO_PROTOCOL **Card) {
  SlotSearch search = {Segment, PciConfigRead8(Bus, Device, 0, PciSecondaryBusRegister),
                       PciConfigRead8(Bus, Device, 0, PciSubordinateBusRegister), nullptr, SlotClassNone};
  WalkPciIoInstances(VisitSlotFunction, &search);
  *Card = search.Card;
  return search.Class;
}
