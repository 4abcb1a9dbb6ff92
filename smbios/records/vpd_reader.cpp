// Reading PCI Vital Product Data through the VPD capability's address/data handshake in the window at EcamBase.
#include "smbios/records/vpd_reader.h"

#include "hw/mmio.h"
#include "smbios/entry/driver_state.h"
#include "smbios/services/pci/pci_config_window.h"
#include "smbios/services/pci/pci_registers.h"
#include "smbios/services/pool.h"
#include "uefi/status.h"

namespace {

// Registers of the VPD capability, by offset from its start.
enum VpdCapabilityRegister : UINTN { VpdAddressRegister = 2, VpdDataRegister = 4 };
constexpr UINT16 VpdCompletionFlag = 0x8000;
constexpr UINTN VpdPollStallMicroseconds = 10;
constexpr UINTN VpdMaxLargeResources = 4;
// The resource tags a VPD image holds: identifier string, read-only and writable keywords, end.
enum VpdResourceTag : UINT8 { TagIdentifierString = 0x82, TagVpdReadOnly = 0x90, TagVpdWritable = 0x91, TagEnd = 0x78 };

// Reads one dword of VPD space; the flag is tested at most VpdPollTests times with a Stall between tests.
EFI_STATUS ReadVpdDword(UINTN CapabilityAddress, UINTN DwordOffset, UINT32 *Value) {
  UINTN window = static_cast<UINTN>(DriverEcamBase()) + CapabilityAddress;
  MmioWrite16(window + VpdAddressRegister, static_cast<UINT16>(DwordOffset & 0x7FFC));
  for (UINTN test = 1;; ++test) {
    if ((MmioRead16(window + VpdAddressRegister) & VpdCompletionFlag) != 0) break;
    if (test == VpdPollTests) return EFI_TIMEOUT;
    DriverBootServices()->Stall(VpdPollStallMicroseconds);
  }
  *Value = MmioRead32(window + VpdDataRegister);
  return EFI_SUCCESS;
}

// Length of the image: large resources (at most four) up to the end tag, never past the VPD space. A resource
// that would run past the space ends the walk before it, as does an unknown tag or a failed read.
UINTN MeasureVpdImage(UINTN CapabilityAddress) {
  UINTN total = 0;
  for (UINTN large = 0; large < VpdMaxLargeResources;) {
    if (total + 3 > VpdSpaceSize) break;
    UINT8 header[3];
    if (EFI_ERROR(ReadVpdBytes(CapabilityAddress, total, 3, header))) break;
    if (header[0] == TagEnd) {
      ++total;
      break;
    }
    if (header[0] != TagIdentifierString && header[0] != TagVpdReadOnly && header[0] != TagVpdWritable) break;
    UINTN next = total + 3 + (header[1] | (static_cast<UINTN>(header[2]) << 8));
    if (next > VpdSpaceSize) break;
    total = next;
    ++large;
  }
  return total;
}

}  // namespace

EFI_STATUS ReadVpdBytes(UINTN CapabilityAddress, UINTN Start, UINTN Count, UINT8 *Destination) {
  if (Start > VpdSpaceSize || Count > VpdSpaceSize - Start) return EFI_INVALID_PARAMETER;
  UINTN delivered = 0;
  UINTN offset = Start;
  while (delivered < Count) {
    UINT32 value = 0;
    EFI_STATUS status = ReadVpdDword(CapabilityAddress, offset & ~static_cast<UINTN>(3), &value);
    if (EFI_ERROR(status)) return status;
    for (UINTN byte = offset & 3; byte < 4 && delivered < Count; ++byte, ++offset) {
      Destination[delivered++] = static_cast<UINT8>(value >> (8 * byte));
    }
  }
  return EFI_SUCCESS;
}

EFI_STATUS ReadVpdImage(UINT8 Bus, UINT8 Device, UINT8 Function, UINT8 **Image, UINTN *Length) {
  UINT8 cap = FindCapabilityOffset(Bus, Device, Function, PciCapabilityIdVpd);
  if (cap == 0) return EFI_NOT_FOUND;
  UINTN capabilityAddress = PciConfigOffset(Bus, Device, Function, cap);
  UINTN total = MeasureVpdImage(capabilityAddress);
  if (total == 0) return EFI_NOT_FOUND;
  auto *buffer = static_cast<UINT8 *>(AllocateZeroed(total));
  if (buffer == nullptr) return EFI_OUT_OF_RESOURCES;
  EFI_STATUS status = ReadVpdBytes(capabilityAddress, 0, total, buffer);
  if (EFI_ERROR(status)) {
    FreeBuffer(buffer);
    return status;
  }
  *Image = buffer;
  *Length = total;
  return EFI_SUCCESS;
}

UINTN VpdWholeResourcesWithin(const UINT8 *Image, UINTN Length, UINTN Limit) {
  UINTN offset = 0;
  while (offset < Length) {
    UINT8 tag = Image[offset];
    UINTN size;
    if ((tag & 0x80) == 0) {
      size = 1 + (tag & 7);
    } else {
      if (Length - offset < 3) break;
      size = 3 + (Image[offset + 1] | (static_cast<UINTN>(Image[offset + 2]) << 8));
    }
    if (size > Length - offset || offset + size > Limit) break;
    offset += size;
    if ((tag & 0x80) == 0 && (tag & 0xF8) == TagEnd) break;
  }
  return offset;
}
