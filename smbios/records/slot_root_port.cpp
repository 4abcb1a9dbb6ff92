// Where a slot's root port sits and whether the PCI Express link behind it is up.
#include "smbios/records/slot_root_port.h"

#include "smbios/entry/driver_state.h"
#include "smbios/services/pci/pci_config_window.h"
#include "smbios/services/pci/pci_registers.h"
#include "smbios/services/pci/stack_bus.h"
#include "uefi/status.h"

namespace {
constexpr UINT16 LinkStatusInExpressCapability = 0x12;
constexpr UINT16 LinkStatusDataLinkLayerActive = 1u << 13;
}  // namespace

EFI_STATUS FindSlotRootPort(const SlotEntry *Entry, UINT8 *Segment, UINT8 *Bus, UINT8 *Device) {
  if (DriverSocketBusLayout()->Valid == 0) return EFI_NOT_READY;
  UINT8 segment = 0;
  UINT8 bus = 0;
  EFI_STATUS status = GetStackBus(Entry->Socket, Entry->Stack, &segment, &bus);
  if (EFI_ERROR(status)) return status;
  *Segment = segment;
  *Bus = bus;
  *Device = Entry->FirstPort;
  return EFI_SUCCESS;
}

BOOLEAN IsLinkActive(UINT8 Bus, UINT8 Device) {
  UINT16 vendor = PciConfigRead16(Bus, Device, 0, PciVendorIdRegister);
  if (vendor == 0x0000 || vendor == 0xFFFF) return FALSE;
  UINT8 cap = FindCapabilityOffset(Bus, Device, 0, PciCapabilityIdExpress);
  if (cap == 0) return FALSE;
  UINT16 linkStatus = PciConfigRead16(Bus, Device, 0, static_cast<UINT16>(cap + LinkStatusInExpressCapability));
  return (linkStatus & LinkStatusDataLinkLayerActive) != 0 ? TRUE : FALSE;
}
