// Bounded string measuring, UCS-2 to ASCII copying and the plain memory functions of the whole driver.
#include "smbios/services/text_and_memory.h"

#include "uefi/status.h"

namespace {

constexpr UINTN kMaxCopyLength = 1000000;

// An 8-byte word that may sit at any address and alias any object.
typedef UINT64 __attribute__((may_alias, aligned(1))) UnalignedWord;

template <typename Char>
UINTN BoundedLength(const Char *String, UINTN Max) {
  if (String == nullptr || Max == 0 || String[0] == 0) return 0;
  for (UINTN i = 1; i < Max; ++i) {
    if (String[i] == 0) return i;
  }
  return Max;
}

BOOLEAN RangesOverlap(const VOID *A, UINTN ALength, const VOID *B, UINTN BLength) {
  UINTN a = reinterpret_cast<UINTN>(A);
  UINTN b = reinterpret_cast<UINTN>(B);
  return (a < b + BLength) && (b < a + ALength);
}

}  // namespace

UINTN Ucs2BoundedLength(const CHAR16 *String, UINTN Max) { return BoundedLength(String, Max); }

UINTN AsciiBoundedLength(const CHAR8 *String, UINTN Max) { return BoundedLength(String, Max); }

EFI_STATUS Ucs2ToAsciiCopy(CHAR8 *Destination, const CHAR16 *Source, UINTN DestinationMax) {
  if (Destination == nullptr || Source == nullptr || DestinationMax == 0 || DestinationMax > kMaxCopyLength) {
    return EFI_INVALID_PARAMETER;
  }
  UINTN length = Ucs2BoundedLength(Source, DestinationMax);
  if (length >= DestinationMax) return EFI_BUFFER_TOO_SMALL;
  if (RangesOverlap(Destination, DestinationMax, Source, 2 * length + 2)) return EFI_ACCESS_DENIED;
  for (UINTN i = 0; i < length; ++i) Destination[i] = static_cast<CHAR8>(Source[i] & 0xFF);
  Destination[length] = 0;
  return EFI_SUCCESS;
}

VOID ZeroMemory(VOID *Buffer, UINTN Length) {
  UINT8 *p = static_cast<UINT8 *>(Buffer);
  for (; Length >= 8; Length -= 8, p += 8) *reinterpret_cast<UnalignedWord *>(p) = 0;
  for (; Length != 0; --Length) *p++ = 0;
}

INTN CompareMemory(const VOID *A, const VOID *B, UINTN Length) {
  const UINT8 *a = static_cast<const UINT8 *>(A);
  const UINT8 *b = static_cast<const UINT8 *>(B);
  for (UINTN i = 0; i < Length; ++i) {
    if (a[i] != b[i]) return static_cast<INTN>(a[i]) - static_cast<INTN>(b[i]);
  }
  return 0;
}

VOID CopyMemory(VOID *Destination, const VOID *Source, UINTN Length) {
  UINT8 *d = static_cast<UINT8 *>(Destination);
  const UINT8 *s = static_cast<const UINT8 *>(Source);
  if (d > s && d < s + Length) {
    // The destination starts inside the source: copy from the end so no source byte is overwritten first.
    while (Length != 0) {
      --Length;
      d[Length] = s[Length];
    }
    return;
  }
  for (UINTN i = 0; i < Length; ++i) d[i] = s[i];
}

VOID FillMemory(VOID *Buffer, UINTN Length, UINT8 Value) {
  UINT8 *p = static_cast<UINT8 *>(Buffer);
  for (UINTN i = 0; i < Length; ++i) p[i] = Value;
}

UINT32 ReadLittleEndian32(const VOID *Bytes) {
  const UINT8 *p = static_cast<const UINT8 *>(Bytes);
  return static_cast<UINT32>(p[0]) | static_cast<UINT32>(p[1]) << 8 | static_cast<UINT32>(p[2]) << 16 |
         static_cast<UINT32>(p[3]) << 24;
}

VOID WriteLittleEndian32(VOID *Bytes, UINT32 Value) {
  UINT8 *p = static_cast<UINT8 *>(Bytes);
  for (UINTN i = 0; i < 4; ++i) p[i] = static_cast<UINT8>(Value >> (8 * i));
}
