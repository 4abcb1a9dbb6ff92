// Configuration reads in the window at EcamBase and the capability-list walk.
#include "smbios/services/pci/pci_config_window.h"

#include "hw/mmio.h"
#include "smbios/entry/driver_state.h"
#include "smbios/services/pci/pci_registers.h"

namespace {

UINTN WindowAddress(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Register) {
  return static_cast<UINTN>(DriverEcamBase()) + PciConfigOffset(Bus, Device, Function, Register);
}

}  // namespace

UINTN PciConfigOffset(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Register) {
  return (static_cast<UINTN>(Bus) << 20) | (static_cast<UINTN>(Device & 0x1F) << 15) |
         (static_cast<UINTN>(Function & 0x07) << 12) | (Register & 0xFFF);
}

UINT8 PciConfigRead8(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Register) {
  return MmioRead8(WindowAddress(Bus, Device, Function, Register));
}

UINT16 PciConfigRead16(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Register) {
  return MmioRead16(WindowAddress(Bus, Device, Function, Register));
}

UINT8 FindCapabilityOffset(UINT8 Bus, UINT8 Device, UINT8 Function, UINT8 CapabilityId) {
  if ((PciConfigRead8(Bus, Device, Function, PciStatusRegister) & PciStatusCapabilitiesList) == 0) return 0;
  UINT8 headerType = PciConfigRead8(Bus, Device, Function, PciHeaderTypeRegister) & PciHeaderTypeLayoutMask;
  UINT16 pointerRegister = headerType == PciHeaderTypeCardBus ? PciCardBusCapabilityPointer : PciCapabilityPointer;
  UINT8 p = PciConfigRead8(Bus, Device, Function, pointerRegister);
  UINT8 last = 0;
  // Every pointer is followed, also one into the header; only a match there is refused. A list without
  // repeats has at most 63 entries (the non-null dword offsets), so a walk of more steps loops.
  for (UINTN step = 0; step < PciCapabilityWalkLimit; ++step) {
    p &= 0xFC;
    if (p == 0) return 0;
    if (last == 0xFF) return 0;  // the chain reads as absent hardware
    last = PciConfigRead8(Bus, Device, Function, p);
    if (last == CapabilityId) return p >= PciFirstCapabilityOffset ? p : 0;
    p = PciConfigRead8(Bus, Device, Function, static_cast<UINT16>(p + 1));
  }
  return 0;
}
