// Rewriting the "VB" keyword of a VPD image's VPD-W resource with the slot's identity.
#include "smbios/records/vpd_slot_keyword.h"

#include "uefi/status.h"

namespace {

constexpr UINT8 TagEnd = 0x78;
constexpr UINT8 TagVpdWritable = 0x91;
constexpr UINTN LargeResourceHeader = 3;
constexpr UINTN KeywordHeader = 3;

UINTN LittleEndian16(const UINT8 *p) { return p[0] | (static_cast<UINTN>(p[1]) << 8); }

// Offset of the VPD-W resource's tag, or Length when the image has none.
UINTN FindWritableResource(const UINT8 *Image, UINTN Length) {
  UINTN offset = 0;
  while (offset < Length) {
    UINT8 tag = Image[offset];
    if ((tag & 0x80) == 0) {
      if ((tag & 0xF8) == TagEnd) return Length;
      offset += 1 + (tag & 7);
      continue;
    }
    if (Length - offset < LargeResourceHeader) return Length;
    if (tag == TagVpdWritable) return offset;
    offset += LargeResourceHeader + LittleEndian16(Image + offset + 1);
  }
  return Length;
}

}  // namespace

EFI_STATUS PatchVpdSlotKeyword(const SlotEntry *Slot, UINT8 *Image, UINTN Length) {
  if (Slot == nullptr || Image == nullptr) return EFI_NOT_FOUND;
  UINTN resource = FindWritableResource(Image, Length);
  if (resource >= Length) return EFI_NOT_FOUND;
  UINTN offset = resource + LargeResourceHeader;
  UINTN end = offset + LittleEndian16(Image + resource + 1);
  if (end > Length) end = Length;  // a resource length past the image ends at the image
  while (offset < end && end - offset >= KeywordHeader) {
    UINTN dataLength = Image[offset + 2];
    if (Image[offset] == 'V' && Image[offset + 1] == 'B') {
      // The value must fit inside the keyword's own data, which must lie inside the image.
      if (dataLength < 2 || offset + KeywordHeader + 2 > end) return EFI_NOT_FOUND;
      UINT16 value = static_cast<UINT16>((static_cast<UINT16>(Slot->SlotNumber) << 8) | Slot->SlotIdHigh);
      Image[offset + KeywordHeader] = static_cast<UINT8>(value);
      Image[offset + KeywordHeader + 1] = static_cast<UINT8>(value >> 8);
      return EFI_SUCCESS;
    }
    offset += KeywordHeader + dataLength;
  }
  return EFI_NOT_FOUND;
}
