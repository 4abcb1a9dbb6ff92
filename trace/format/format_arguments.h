// Walks the arguments of one format call: the packed argument list when one is given, else the
// variadic list, both with the same widths (4 bytes per item, 8 for a 64-bit integer, low word first).
// A packed list may be bounded by its end: an item that does not lie wholly inside reads as 0.
#pragma once
#include "uefi/base_types.h"

class FormatArguments {
 public:
  FormatArguments(__builtin_va_list *VaList, const VOID *PackedList, const VOID *PackedEnd = nullptr)
      : Va(VaList),
        Packed(static_cast<const UINT8 *>(PackedList)),
        End(PackedEnd != nullptr ? reinterpret_cast<UINTN>(PackedEnd) : kUnbounded) {}

  // A 32-bit integer, character, status, or '*' width or precision.
  UINT32 Next32() {
    if (Packed != nullptr) return static_cast<UINT32>(TakePacked(4));
    return Va != nullptr ? __builtin_va_arg(*Va, UINT32) : 0;
  }

  // A 64-bit integer (the 'l' or 'L' modifier).
  UINT64 Next64() {
    if (Packed != nullptr) return TakePacked(8);
    return Va != nullptr ? __builtin_va_arg(*Va, UINT64) : 0;
  }

  // A pointer, as an address. The packed list holds 32-bit addresses, zero-extended here.
  UINTN NextPointer() {
    if (Packed != nullptr) return static_cast<UINTN>(TakePacked(4));
    return Va != nullptr ? reinterpret_cast<UINTN>(__builtin_va_arg(*Va, const VOID *)) : 0;
  }

 private:
  // Whether the next Bytes lie inside a bounded list; once one does not, the list counts as used up.
  bool Holds(UINTN Bytes) {
    if (End - reinterpret_cast<UINTN>(Packed) >= Bytes) return true;
    Packed = reinterpret_cast<const UINT8 *>(End);
    return false;
  }

  // The packed list's next item of Bytes (4 or 8), low word first; 0 once the list is used up.
  UINT64 TakePacked(UINTN Bytes) {
    if (!Holds(Bytes)) return 0;
    UINT64 Value = Load32(Packed);
    if (Bytes == 8) Value |= static_cast<UINT64>(Load32(Packed + 4)) << 32;
    Packed += Bytes;
    return Value;
  }

  // Little-endian, any alignment (the packed list lives inside a data record): one load on x86, the only
  // processor the module is built for.
  static UINT32 Load32(const UINT8 *P) {
    UINT32 Value;
    __builtin_memcpy(&Value, P, 4);
    return Value;
  }

  // End of an unbounded packed list: no list reaches the last address, so every item is inside.
  static constexpr UINTN kUnbounded = ~static_cast<UINTN>(0);

  __builtin_va_list *Va;
  const UINT8 *Packed;
  UINTN End;  // address just past the packed list, or kUnbounded
};
