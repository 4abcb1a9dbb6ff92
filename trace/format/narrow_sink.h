// Output of 1-byte characters written into a caller's buffer, the listener's only case, with no run-time
// mode tests in its steps. FormatSink builds the other modes (16-bit output, count-only) on it and hands
// 1-byte output to these steps.
#pragma once
#include "trace/format/narrow_copy.h"
#include "uefi/base_types.h"

class NarrowSink {
 public:
  // Size >= 1 characters at Buffer; the last one is kept for the terminator.
  NarrowSink(VOID *Buffer, UINTN Size) : Out(static_cast<UINT8 *>(Buffer)), Pos(0), End(Size - 1) {}

  // Copies characters up to the first stop character (or a candidate of Stop before it) or until the
  // room is used up, and returns where it stopped reading.
  template <typename Stop>
  __attribute__((always_inline)) const UINT8 *CopyNarrowUntil(const UINT8 *Chars) {
    UINTN N = narrow_copy::CopyUntil<Stop>(Out + Pos, Chars, End - Pos);
    Pos += N;
    return Chars + N;
  }

  bool PutPairNarrow(UINT8 First, UINT8 Second) {
    if (End - Pos < 2) return false;
    UINT16 Pair = static_cast<UINT16>(First | (Second << 8));  // one store
    __builtin_memcpy(Out + Pos, &Pair, 2);
    Pos += 2;
    return true;
  }

  // N copies of Char, bounded by the room left.
  void Repeat(UINT32 Char, UINT64 N) {
    // Locals, not members, in the loops: byte stores may alias the members and would force reloads.
    UINTN At = Pos;
    UINTN Last = At + Room(N);
    for (UINT8 *To = Out; At < Last; ++At) To[At] = static_cast<UINT8>(Char);
    Pos = At;
  }

  // N characters of CharBytes (1 or 2) bytes each; a 2-byte character keeps its low byte.
  __attribute__((always_inline)) void Text(const UINT8 *Chars, UINTN N, UINT32 CharBytes) {
    UINTN At = Pos;
    UINTN Last = At + Room(N);
    if (CharBytes == 1) {
      narrow_copy::CopyBytes(Out + At, Chars, Last - At);
      At = Last;
    } else {
      for (UINT8 *To = Out; At < Last; ++At, Chars += 2) To[At] = Chars[0];
    }
    Pos = At;
  }

 protected:
  UINTN Room(UINT64 N) const { return N < End - Pos ? static_cast<UINTN>(N) : End - Pos; }

  static UINT32 Saturate32(UINT64 N) { return N > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<UINT32>(N); }

  UINT8 *Out;
  UINTN Pos;
  UINTN End;
};
