// Searches over the PCI I/O instances: by location, the Ethernet functions below a bridge, the onboard LAN.
#include "smbios/records/pci_io_search.h"

#include "smbios/entry/driver_state.h"
#include "smbios/records/pci_config_window.h"
#include "smbios/records/stack_bus.h"
#include "uefi/status.h"

namespace {

constexpr UINT32 SubClassRegister = 0x0A;
constexpr UINT32 BaseClassRegister = 0x0B;
constexpr UINT32 HeaderTypeRegister = 0x0E;
constexpr UINT32 SecondaryBusRegister = 0x19;
constexpr UINT32 SubordinateBusRegister = 0x1A;
constexpr UINT8 NetworkControllerClass = 0x02;
constexpr UINT8 EthernetSubClass = 0x00;
constexpr UINT8 OnboardLanSocket = 0;
constexpr UINT8 OnboardLanStack = 3;
constexpr UINT8 OnboardLanRootPortDevice = 3;

struct PciLocation {
  UINTN Segment;
  UINTN Bus;
  UINTN Device;
  UINTN Function;
};

// The PCI I/O handles, or a count of 0 (and no buffer) when there are none.
struct HandleList {
  UINTN Count;
  EFI_HANDLE *Handles;
};

HandleList LocatePciIoHandles() {
  EFI_GUID guid = EFI_PCI_IO_PROTOCOL_GUID;
  HandleList list = {0, nullptr};
  if (EFI_ERROR(gDriver.BootServices->LocateHandleBuffer(ByProtocol, &guid, nullptr, &list.Count, &list.Handles)) ||
      list.Handles == nullptr) {
    list.Count = 0;
    list.Handles = nullptr;
  }
  return list;
}

VOID ReleaseHandles(HandleList *List) {
  if (List->Handles != nullptr) gDriver.BootServices->FreePool(List->Handles);
  List->Handles = nullptr;
  List->Count = 0;
}

// The instance on the handle and its location; null when it cannot be opened or located.
EFI_PCI_IO_PROTOCOL *OpenAndLocate(EFI_HANDLE Handle, PciLocation *Location) {
  EFI_GUID guid = EFI_PCI_IO_PROTOCOL_GUID;
  EFI_PCI_IO_PROTOCOL *io = nullptr;
  gDriver.BootServices->HandleProtocol(Handle, &guid, reinterpret_cast<VOID **>(&io));
  if (io == nullptr) return nullptr;
  if (EFI_ERROR(io->GetLocation(io, &Location->Segment, &Location->Bus, &Location->Device, &Location->Function))) {
    return nullptr;
  }
  return io;
}

UINT8 ReadConfig8(EFI_PCI_IO_PROTOCOL *PciIo, UINT32 Offset) {
  UINT8 value = 0xFF;
  PciIo->Pci.Read(PciIo, EfiPciIoWidthUint8, Offset, 1, &value);
  return value;
}

}  // namespace

EFI_PCI_IO_PROTOCOL *FindPciIoByLocation(UINTN Segment, UINTN Bus, UINTN Device, UINTN Function) {
  HandleList list = LocatePciIoHandles();
  EFI_PCI_IO_PROTOCOL *found = nullptr;
  for (UINTN i = 0; i < list.Count && found == nullptr; ++i) {
    PciLocation at = {0, 0, 0, 0};
    EFI_PCI_IO_PROTOCOL *io = OpenAndLocate(list.Handles[i], &at);
    if (io != nullptr && at.Segment == Segment && at.Bus == Bus && at.Device == Device && at.Function == Function) {
      found = io;
    }
  }
  ReleaseHandles(&list);
  return found;
}

BOOLEAN NthEthernetFunction(EFI_PCI_IO_PROTOCOL *PciIo, UINT64 *Counter) {
  UINT8 subClass = ReadConfig8(PciIo, SubClassRegister);
  UINT8 baseClass = ReadConfig8(PciIo, BaseClassRegister);
  if (baseClass != NetworkControllerClass || subClass != EthernetSubClass) return FALSE;
  if (*Counter == 0) return TRUE;
  --*Counter;
  return FALSE;
}

EFI_PCI_IO_PROTOCOL *FindEthernetBehindBridge(UINTN Segment, UINTN Bus, UINTN Device, UINTN Function,
                                              UINT64 *Counter) {
  UINT8 secondary = 0;
  UINT8 subordinate = 0;
  EFI_PCI_IO_PROTOCOL *bridge = FindPciIoByLocation(Segment, Bus, Device, Function);
  if (bridge != nullptr) {
    secondary = ReadConfig8(bridge, SecondaryBusRegister);
    subordinate = ReadConfig8(bridge, SubordinateBusRegister);
  } else {
    UINT8 bus = static_cast<UINT8>(Bus);
    UINT8 device = static_cast<UINT8>(Device & 0x1F);
    UINT8 function = static_cast<UINT8>(Function & 0x07);
    secondary = PciConfigRead8(bus, device, function, SecondaryBusRegister);
    subordinate = PciConfigRead8(bus, device, function, SubordinateBusRegister);
  }

  HandleList list = LocatePciIoHandles();
  EFI_PCI_IO_PROTOCOL *found = nullptr;
  for (UINTN i = 0; i < list.Count && found == nullptr; ++i) {
    PciLocation at = {0, 0, 0, 0};
    EFI_PCI_IO_PROTOCOL *io = OpenAndLocate(list.Handles[i], &at);
    if (io == nullptr || at.Segment != Segment || at.Bus < secondary || at.Bus > subordinate) continue;
    if ((ReadConfig8(io, HeaderTypeRegister) & 0x7F) != 0) continue;
    if (NthEthernetFunction(io, Counter)) found = io;
  }
  ReleaseHandles(&list);
  return found;
}

EFI_PCI_IO_PROTOCOL *FindOnboardLan(UINT64 *Counter) {
  if (gDriver.SocketBusLayout.Valid == 0) return nullptr;
  UINT8 segment = 0;
  UINT8 bus = 0;
  if (EFI_ERROR(GetStackBus(OnboardLanSocket, OnboardLanStack, &segment, &bus))) return nullptr;
  return FindEthernetBehindBridge(segment, bus, OnboardLanRootPortDevice, 0, Counter);
}
