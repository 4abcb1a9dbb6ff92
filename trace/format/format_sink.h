// Bounded output of the formatter: 1- or 2-byte characters into a caller's buffer whose last slot is kept
// for the terminator, or, in count-only mode, a saturating count with nothing written.
#pragma once
#include "trace/format/narrow_sink.h"
#include "uefi/base_types.h"

class FormatSink : public NarrowSink {
 public:
  // Writing: Size >= 1 characters at Buffer. Counting: Buffer and Size are not used. FormatBytes: the
  // width of the format's characters (1 or 2), which the engine reads through this sink so that one
  // engine serves both widths.
  FormatSink(VOID *Buffer, UINTN Size, bool Wide, bool CountOnly, UINT32 FormatBytes)
      : NarrowSink(Buffer, CountOnly ? 1 : Size),
        Count(0),
        FormatBytes(FormatBytes),
        Wide(Wide),
        CountOnly(CountOnly) {}

  UINT32 FormatCharBytes() const { return FormatBytes; }

  // True once the terminator slot is reached; never in count-only mode.
  bool Full() const { return !CountOnly && Pos >= End; }

  // 1-byte characters are being written: NarrowSink's CopyNarrowUntil applies.
  bool Narrow() const { return !Wide && !CountOnly; }

  // Both characters of a line end when they fit (1-byte output); false leaves the work to Put.
  bool PutPairNarrow(UINT8 First, UINT8 Second) { return Narrow() && NarrowSink::PutPairNarrow(First, Second); }

  void Put(UINT32 Char) {
    if (CountOnly) {
      Add(1);
    } else if (Pos < End) {
      Store(Pos++, Char);
    }
  }

  // N copies of Char; time is bounded by the room left, not by N.
  void Repeat(UINT32 Char, UINT64 N) {
    if (CountOnly) {
      Add(N);
      return;
    }
    if (!Wide) return NarrowSink::Repeat(Char, N);
    // Locals, not members, in the loops: byte stores may alias the members and would force reloads.
    UINTN At = Pos;
    UINTN Last = At + Room(N);
    for (; At < Last; ++At) Store(At, Char);
    Pos = At;
  }

  // N characters of CharBytes (1 or 2) bytes each, little-endian; 2-byte characters keep only their low
  // byte in 1-byte output.
  void Text(const UINT8 *Chars, UINTN N, UINT32 CharBytes) {
    if (CountOnly) {
      Add(N);
      return;
    }
    if (!Wide) return NarrowSink::Text(Chars, N, CharBytes);
    UINTN At = Pos;
    UINTN Last = At + Room(N);
    for (; At < Last; ++At, Chars += CharBytes) {
      // N never exceeds the characters before the terminator at Chars (the callers count them with
      // TextLength), a bound the analyzer does not carry through TextLength's loop.
      // NOLINTNEXTLINE(clang-analyzer-core.UndefinedBinaryOperatorResult)
      Store(At, CharBytes == 1 ? Chars[0] : Chars[0] | (static_cast<UINT32>(Chars[1]) << 8));
    }
    Pos = At;
  }

  // Writes the terminator at the output position and returns the characters written (or counted).
  UINT32 Finish() {
    if (CountOnly) return Saturate32(Count);
    Store(Pos, 0);
    return Saturate32(Pos);
  }

 private:
  void Add(UINT64 N) { Count = Count + N < Count ? ~static_cast<UINT64>(0) : Count + N; }

  void Store(UINTN At, UINT32 Char) {
    if (Wide) {
      Out[2 * At] = static_cast<UINT8>(Char);
      Out[2 * At + 1] = static_cast<UINT8>(Char >> 8);
    } else {
      Out[At] = static_cast<UINT8>(Char);
    }
  }

  UINT64 Count;
  UINT32 FormatBytes;
  bool Wide;
  bool CountOnly;
};
