// Searches over the PCI I/O instances: by location, the Ethernet functions below a bridge, the onboard LAN.
#pragma once
#include "uefi/base_types.h"
#include "uefi/protocols/pci_io.h"

// The instance whose GetLocation reports exactly these values, or null.
EFI_PCI_IO_PROTOCOL *FindPciIoByLocation(UINTN Segment, UINTN Bus, UINTN Device, UINTN Function);

// The Ethernet function below the bridge (or root port) that NthEthernetFunction accepts, in handle order;
// null when there is none. *Counter says how many Ethernet functions to pass over first.
EFI_PCI_IO_PROTOCOL *FindEthernetBehindBridge(UINTN Segment, UINTN Bus, UINTN Device, UINTN Function,
                                              UINT64 *Counter);

// True for an Ethernet controller (class 02, sub-class 00) when *Counter is 0; an Ethernet controller with a
// non-zero counter decrements it and answers false. Other classes answer false and leave the counter.
BOOLEAN NthEthernetFunction(EFI_PCI_IO_PROTOCOL *PciIo, UINT64 *Counter);

// The Ethernet function below the onboard LAN root port (socket 0, stack 3, device 3), or null.
EFI_PCI_IO_PROTOCOL *FindOnboardLan(UINT64 *Counter);
