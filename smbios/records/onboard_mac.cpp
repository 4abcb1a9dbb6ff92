// The MAC address of the onboard network controller: by the controller's IDs, from its port registers, its
// receive-address registers, or the "V2" keyword of the onboard LAN function's VPD.
#include "smbios/records/onboard_mac.h"

#include "hw/mmio.h"
#include "smbios/board/board_inventory.h"
#include "smbios/records/vpd_reader.h"
#include "smbios/services/pci/pci_io_handles.h"
#include "smbios/services/pci/pci_io_search.h"
#include "smbios/services/pci/pci_registers.h"
#include "smbios/services/pool.h"
#include "smbios/services/text_and_memory.h"
#include "uefi/status.h"

namespace {

constexpr UINTN PortAddressLowOffset = 0x1E4440;   // MAC bytes 0..3
constexpr UINTN PortAddressHighOffset = 0x1E44C0;  // MAC bytes 4..5
constexpr UINTN LowReceiveAddressOffset = 0x40;
constexpr UINTN ReceiveAddressOffset = 0x5400;

constexpr UINTN VpdMacCharacters = 2 * MacAddressSize;
constexpr UINTN VpdKeywordHeaderSize = 3;  // two name bytes and the length byte

// The 64-bit memory address in BAR 0 and 1 with its low 4 (type and prefetch) bits cleared.
UINT64 ReadBarAddress(EFI_PCI_IO_PROTOCOL *PciIo) {
  UINT32 bar[2] = {0, 0};
  PciIo->Pci.Read(PciIo, EfiPciIoWidthUint32, PciBar0Register, 2, bar);
  return ((static_cast<UINT64>(bar[1]) << 32) | bar[0]) & ~static_cast<UINT64>(0xF);
}

VOID StoreLe16(UINT8 *Destination, UINT16 Value) {
  Destination[0] = static_cast<UINT8>(Value);
  Destination[1] = static_cast<UINT8>(Value >> 8);
}

UINT8 HexValue(UINT8 Character) {
  if (Character >= '0' && Character <= '9') return static_cast<UINT8>(Character - '0');
  if (Character >= 'A' && Character <= 'F') return static_cast<UINT8>(Character - 'A' + 10);
  return static_cast<UINT8>(Character - 0x57);  // 'a'..'f' give 10..15
}

}  // namespace

EFI_STATUS ReadMacFromPortRegisters(EFI_PCI_IO_PROTOCOL *PciIo, UINT8 *Mac) {
  UINT64 base = ReadBarAddress(PciIo);
  if (base == 0) return EFI_NOT_FOUND;
  WriteLittleEndian32(Mac, MmioRead32(static_cast<UINTN>(base + PortAddressLowOffset)));
  StoreLe16(Mac + 4, MmioRead16(static_cast<UINTN>(base + PortAddressHighOffset)));
  return EFI_SUCCESS;
}

EFI_STATUS ReadMacFromReceiveAddress(EFI_PCI_IO_PROTOCOL *PciIo, UINT8 *Mac) {
  UINT64 base = ReadBarAddress(PciIo);
  if (base == 0) return EFI_NOT_FOUND;
  UINT16 deviceId = PciIoRead16(PciIo, PciDeviceIdRegister);
  BOOLEAN low = BoardIdListHas(IdListOf(LowReceiveAddressDeviceIds), deviceId);
  UINT64 at = base + (low ? LowReceiveAddressOffset : ReceiveAddressOffset);
  WriteLittleEndian32(Mac, MmioRead32(static_cast<UINTN>(at)));
  StoreLe16(Mac + 4, MmioRead16(static_cast<UINTN>(at + 4)));
  return EFI_SUCCESS;
}

EFI_STATUS ParseVpdMacKeyword(const UINT8 *Image, UINTN Length, UINT8 *Mac) {
  for (UINTN i = 0; i + 1 < Length; ++i) {
    if (Image[i] != 'V' || Image[i + 1] != '2') continue;
    UINTN data = i + VpdKeywordHeaderSize;
    if (data > Length || Length - data < VpdMacCharacters) return EFI_NOT_FOUND;
    for (UINTN b = 0; b < MacAddressSize; ++b) {
      Mac[b] = static_cast<UINT8>((HexValue(Image[data + 2 * b]) << 4) | (HexValue(Image[data + 2 * b + 1]) & 0x0F));
    }
    return EFI_SUCCESS;
  }
  return EFI_NOT_FOUND;
}

EFI_STATUS ReadMacFromVpdKeyword(EFI_PCI_IO_PROTOCOL *PciIo, UINT8 *Mac) {
  UINTN segment = 0;
  UINTN bus = 0;
  UINTN device = 0;
  UINTN function = 0;
  if (EFI_ERROR(PciIo->GetLocation(PciIo, &segment, &bus, &device, &function))) return EFI_NOT_FOUND;
  UINT8 *image = nullptr;
  UINTN length = 0;
  if (EFI_ERROR(ReadVpdImage(static_cast<UINT8>(bus), static_cast<UINT8>(device & 0x1F),
                             static_cast<UINT8>(function & 0x07), &image, &length))) {
    return EFI_NOT_FOUND;
  }
  EFI_STATUS status = ParseVpdMacKeyword(image, length, Mac);
  FreeBuffer(image);
  return status;
}

EFI_STATUS ReadOnboardMacAddress(UINT8 *Mac) {
  UINT64 counter = 0;
  const BoardPciPlace &port = OnboardNicRootPort;
  EFI_PCI_IO_PROTOCOL *controller = FindEthernetBehindBridge(0, port.Bus, port.Device, port.Function, &counter);
  if (controller == nullptr) return EFI_NOT_FOUND;

  UINT16 vendorId = PciIoRead16(controller, PciVendorIdRegister);
  UINT16 deviceId = PciIoRead16(controller, PciDeviceIdRegister);
  if (vendorId == NetworkControllerVendorId) {
    if (BoardIdListHas(IdListOf(PortRegisterDeviceIds), deviceId)) {
      return ReadMacFromPortRegisters(controller, Mac);
    }
    if (BoardIdListHas(IdListOf(ReceiveAddressDeviceIds), deviceId)) {
      return ReadMacFromReceiveAddress(controller, Mac);
    }
  }

  counter = 0;
  EFI_PCI_IO_PROTOCOL *lan = FindOnboardLan(&counter);
  if (lan == nullptr) return EFI_NOT_FOUND;
  return ReadMacFromVpdKeyword(lan, Mac);
}
