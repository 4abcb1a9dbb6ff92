// Sized register moves through the hardware primitives; the buffer side is byte-wise little-endian.
#include "regaccess/register_copy.h"

#include "hw/mmio.h"

namespace {

void Store(UINT8 *Bytes, UINT64 Value, UINT32 Size) {
  for (UINT32 i = 0; i < Size; ++i) Bytes[i] = static_cast<UINT8>(Value >> (8 * i));
}

UINT64 Load(const UINT8 *Bytes, UINT32 Size) {
  UINT64 Value = 0;
  for (UINT32 i = 0; i < Size; ++i) Value |= static_cast<UINT64>(Bytes[i]) << (8 * i);
  return Value;
}

// Bytes one access of the code moves: 1, 2, 4, or 8 for every other code (two 32-bit accesses).
UINT32 MovedBytes(UINT32 Code) { return Code <= 2 ? 1u << Code : 8u; }

}  // namespace

bool RegisterBytesInAddressSpace(UINT32 Code, UINT32 RegisterAddress) {
  return static_cast<UINT64>(RegisterAddress) + MovedBytes(Code) - 1 <= 0xFFFFFFFFull;
}

UINT32 CopyFromRegister(VOID *Destination, UINT32 Code, UINT32 RegisterAddress) {
  if (!RegisterBytesInAddressSpace(Code, RegisterAddress)) {
    return RegisterCopyUnsupported;
  }
  UINT8 *Bytes = static_cast<UINT8 *>(Destination);
  switch (Code) {
    case 0:
      Store(Bytes, MmioRead8(RegisterAddress), 1);
      break;
    case 1:
      Store(Bytes, MmioRead16(RegisterAddress), 2);
      break;
    case 2:
      Store(Bytes, MmioRead32(RegisterAddress), 4);
      break;
    default:
      Store(Bytes, MmioRead32(RegisterAddress), 4);
      Store(Bytes + 4, MmioRead32(RegisterAddress + 4), 4);
      break;
  }
  return 0;
}

UINT32 CopyToRegister(const VOID *Source, UINT32 Code, UINT32 RegisterAddress) {
  if (!RegisterBytesInAddressSpace(Code, RegisterAddress)) {
    return RegisterCopyUnsupported;
  }
  const UINT8 *Bytes = static_cast<const UINT8 *>(Source);
  switch (Code) {
    case 0:
      MmioWrite8(RegisterAddress, static_cast<UINT8>(Load(Bytes, 1)));
      break;
    case 1:
      MmioWrite16(RegisterAddress, static_cast<UINT16>(Load(Bytes, 2)));
      break;
    case 2:
      MmioWrite32(RegisterAddress, static_cast<UINT32>(Load(Bytes, 4)));
      break;
    default:
      MmioWrite32(RegisterAddress, static_cast<UINT32>(Load(Bytes, 4)));
      MmioWrite32(RegisterAddress + 4, static_cast<UINT32>(Load(Bytes + 4, 4)));
      break;
  }
  return 0;
}

void MergeMasks(UINT8 *Value, const VOID *AndMask, const VOID *OrMask, UINT32 Size) {
  const UINT8 *And = static_cast<const UINT8 *>(AndMask);
  const UINT8 *Or = static_cast<const UINT8 *>(OrMask);
  if (Size > 8) {
    Size = 8;  // the value is one 8-byte element
  }
  for (UINT32 i = 0; i < Size; ++i) {
    UINT8 Keep = And != NULL ? And[i] : 0xFF;
    UINT8 Set = Or != NULL ? Or[i] : 0x00;
    Value[i] = static_cast<UINT8>((Value[i] & Keep) | Set);
  }
}
