// Searches over the PCI I/O instances: by location, the Ethernet functions below a bridge, the onboard LAN.
#include "smbios/services/pci/pci_io_search.h"

#include "smbios/board/board_inventory.h"
#include "smbios/board/device_rules.h"
#include "smbios/entry/driver_state.h"
#include "smbios/services/pci/pci_config_window.h"
#include "smbios/services/pci/pci_io_handles.h"
#include "smbios/services/pci/pci_registers.h"
#include "smbios/services/pci/stack_bus.h"
#include "uefi/status.h"

namespace {

BOOLEAN VisitExactLocation(EFI_PCI_IO_PROTOCOL *, const PciIoLocation *At, VOID *Context) {
  const PciIoLocation *wanted = static_cast<const PciIoLocation *>(Context);
  return At->Segment == wanted->Segment && At->Bus == wanted->Bus && At->Device == wanted->Device &&
         At->Function == wanted->Function;
}

struct EthernetSearch {
  UINTN Segment;
  UINT8 Secondary;
  UINT8 Subordinate;
  UINT64 *Counter;
};

BOOLEAN VisitEthernetBelowBridge(EFI_PCI_IO_PROTOCOL *Io, const PciIoLocation *At, VOID *Context) {
  EthernetSearch *search = static_cast<EthernetSearch *>(Context);
  if (At->Segment != search->Segment || At->Bus < search->Secondary || At->Bus > search->Subordinate) return FALSE;
  if (!PciIsOrdinaryFunction(PciIoRead8(Io, PciHeaderTypeRegister))) return FALSE;
  return NthEthernetFunction(Io, search->Counter);
}

}  // namespace

EFI_PCI_IO_PROTOCOL *FindPciIoByLocation(UINTN Segment, UINTN Bus, UINTN Device, UINTN Function) {
  PciIoLocation wanted = {Segment, Bus, Device, Function};
  return WalkPciIoInstances(VisitExactLocation, &wanted);
}

BOOLEAN NthEthernetFunction(EFI_PCI_IO_PROTOCOL *PciIo, UINT64 *Counter) {
  UINT8 subClass = PciIoRead8(PciIo, PciSubClassRegister);
  UINT8 baseClass = PciIoRead8(PciIo, PciBaseClassRegister);
  return AcceptNthEthernet(subClass, baseClass, Counter);
}

EFI_PCI_IO_PROTOCOL *FindEthernetBehindBridge(UINTN Segment, UINTN Bus, UINTN Device, UINTN Function, UINT64 *Counter) {
  EthernetSearch search = {Segment, 0, 0, Counter};
  EFI_PCI_IO_PROTOCOL *bridge = FindPciIoByLocation(Segment, Bus, Device, Function);
  if (bridge != nullptr) {
    search.Secondary = PciIoRead8(bridge, PciSecondaryBusRegister);
    search.Subordinate = PciIoRead8(bridge, PciSubordinateBusRegister);
  } else {
    UINT8 bus = static_cast<UINT8>(Bus);
    UINT8 device = static_cast<UINT8>(Device & 0x1F);
    UINT8 function = static_cast<UINT8>(Function & 0x07);
    search.Secondary = PciConfigRead8(bus, device, function, PciSecondaryBusRegister);
    search.Subordinate = PciConfigRead8(bus, device, function, PciSubordinateBusRegister);
  }
  return WalkPciIoInstances(VisitEthernetBelowBridge, &search);
}

EFI_PCI_IO_PROTOCOL *FindOnboardLan(UINT64 *Counter) {
  if (DriverSocketBusLayout()->Valid == 0) return nullptr;
  UINT8 segment = 0;
  UINT8 bus = 0;
  if (EFI_ERROR(GetStackBus(OnboardLanRootPort.Socket, OnboardLanRootPort.Stack, &segment, &bus))) return nullptr;
  return FindEthernetBehindBridge(segment, bus, OnboardLanRootPort.Device, OnboardLanRootPort.Function, Counter);
}
