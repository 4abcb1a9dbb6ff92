// Searches over the PCI I/O instances: by location, the Ethernet functions below a bridge, the onboard LAN.
#pragma once
#include "uefi/base_types.h"
#include "uefi/protocols/pci_io.h"

// The instance whose GetLocation reports exactly these values, or null.
EFI_PCI_IO_PROTOCOL *FindPciIoByLocation(UINTN Segment, UINTN Bus, UINTN Device, UINTN Function);

// The Ethernet function below the bridge (or root port) that NthEthernetFunction accepts, in handle order;
// null when there is none. *Counter says how many Ethernet functions to pass over first.
EFI_PCI_IO_PROTOCOL *FindEthernetBehindBridge(UINTN Segment, UINTN Bus, UINTN Device, UINTN Function, UINT64 *Counter);

// Reads the function's sub-class and base class and applies AcceptNthEthernet (smbios/board/device_rules.h):
// true for an Ethernet controller when *Counter is 0, else an Ethernet controller decrements it.
BOOLEAN NthEthernetFunction(EFI_PCI_IO_PROTOCOL *PciIo, UINT64 *Counter);

// The Ethernet function below the board's onboard LAN root port (OnboardLanRootPort), or null.
EFI_PCI_IO_PROTOCOL *FindOnboardLan(UINT64 *Counter);
