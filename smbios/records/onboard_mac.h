// The MAC address of the onboard network controller: by the controller's IDs, from its port registers, its
// receive-address registers, or the "V2" keyword of the onboard LAN function's VPD.
#pragma once
#include "uefi/base_types.h"
#include "uefi/protocols/pci_io.h"

constexpr UINTN MacAddressSize = 6;

// EFI_NOT_FOUND when no network controller is found (Mac is then left as it is).
EFI_STATUS ReadOnboardMacAddress(UINT8 *Mac);

// Both read the 64-bit memory BAR at 0x10/0x14. EFI_NOT_FOUND, without any read, when it holds no address.
EFI_STATUS ReadMacFromPortRegisters(EFI_PCI_IO_PROTOCOL *PciIo, UINT8 *Mac);
EFI_STATUS ReadMacFromReceiveAddress(EFI_PCI_IO_PROTOCOL *PciIo, UINT8 *Mac);

// EFI_NOT_FOUND without a VPD image or a complete "V2" keyword in it.
EFI_STATUS ReadMacFromVpdKeyword(EFI_PCI_IO_PROTOCOL *PciIo, UINT8 *Mac);

// The MAC address in the first "V2" of Image: 12 hexadecimal characters starting 3 bytes after it. Nothing
// at or past Image + Length is read; EFI_NOT_FOUND (Mac untouched) without a match or with fewer than 12
// characters left after the keyword header.
EFI_STATUS ParseVpdMacKeyword(const UINT8 *Image, UINTN Length, UINT8 *Mac);
