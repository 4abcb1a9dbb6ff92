// The formatter engine: rejections, the main loop over the format, modifiers, conversions and layout.
#include "trace/format/format_text.h"

#include "trace/format/format_arguments.h"
#include "trace/format/format_digits.h"
#include "trace/format/format_sink.h"
#include "trace/format/status_names.h"

namespace {

// Stack scratch for digits and for the GUID, time and unknown-status texts.
constexpr UINTN kScratchChars = 38;
static_assert(kScratchChars >= FORMAT_MAX_DIGITS, "digits fit in the scratch buffer");

constexpr UINT64 kNoLimit = ~static_cast<UINT64>(0);

// Modifiers of one conversion (bits of Conversion.Modifiers).
constexpr UINT32 kLeftJustify = 1u << 0;
constexpr UINT32 kPlus = 1u << 1;
constexpr UINT32 kBlank = 1u << 2;
constexpr UINT32 kGroup = 1u << 3;
constexpr UINT32 kZeroPad = 1u << 4;
constexpr UINT32 kLong = 1u << 5;
constexpr UINT32 kWidthGiven = 1u << 6;
constexpr UINT32 kPrecisionGiven = 1u << 7;

// Per-conversion state, fresh for every '%'.
struct Conversion {
  UINT32 Width = 0;
  UINT32 Precision = 1;
  UINT32 Modifiers = 0;
  bool Has(UINT32 Bits) const { return (Modifiers & Bits) != 0; }
};

// A format character of Bytes (1 or 2) bytes, read little-endian and masked to its width. The engine
// takes Bytes from its sink, which serves both format widths.
UINT32 FormatCharAt(const UINT8 *P, UINT32 Bytes) {
  return Bytes == 1 ? P[0] : (P[0] | (static_cast<UINT32>(P[1]) << 8));
}

// Characters of a text item up to its terminator, at most Limit.
UINTN TextLength(const UINT8 *Text, UINT32 CharBytes, UINT64 Limit) {
  UINTN N = 0;
  if (CharBytes == 1) {
    while (N < Limit && Text[N] != 0) ++N;
  } else {
    while (N < Limit && (Text[2 * N] | Text[2 * N + 1]) != 0) ++N;
  }
  return N;
}

void PadBefore(FormatSink &Out, const Conversion &Conv, UINT64 Precision) {
  if (!Conv.Has(kLeftJustify) && Conv.Width > Precision) Out.Repeat(' ', Conv.Width - Precision);
}

void PadAfter(FormatSink &Out, const Conversion &Conv, UINT64 Precision) {
  if (Conv.Has(kLeftJustify) && Conv.Width > Precision) Out.Repeat(' ', Conv.Width - Precision);
}

// A text item: the string conversions ('a', 's', 'S') have precision 0 unless one is given, every other
// item 1; a given precision also bounds the characters taken.
void EmitText(FormatSink &Out, const Conversion &Conv, const VOID *Text, UINT32 CharBytes, bool StringConversion) {
  const UINT8 *Chars = static_cast<const UINT8 *>(Text);
  // No width and no precision: the text as it is (the 1-byte items other than strings are never empty).
  if (Conv.Width == 0 && !Conv.Has(kPrecisionGiven) && CharBytes == 1 && Out.Narrow()) {
    Out.CopyNarrowUntil<narrow_copy::StopAtNul>(Chars);
    return;
  }
  UINT64 Precision = Conv.Has(kPrecisionGiven) ? Conv.Precision : (StringConversion ? 0 : 1);
  UINTN Count = TextLength(Chars, CharBytes, Conv.Has(kPrecisionGiven) ? Conv.Precision : kNoLimit);
  if (Precision < Count) Precision = Count;
  PadBefore(Out, Conv, Precision);
  Out.Repeat(' ', Precision - Count);
  Out.Text(Chars, Count, CharBytes);
  PadAfter(Out, Conv, Precision);
}

void EmitString8(FormatSink &Out, const Conversion &Conv, const CHAR8 *Text) { EmitText(Out, Conv, Text, 1, false); }

// One character as a one-character 16-bit string (a zero character is an empty string).
void EmitChar(FormatSink &Out, const Conversion &Conv, UINT32 Char) {
  const UINT8 Text[4] = {static_cast<UINT8>(Char), static_cast<UINT8>(Char >> 8), 0, 0};
  EmitText(Out, Conv, Text, 2, false);
}

// A number: prefix, zeros up to the precision, then the digits (with separators when grouped).
void EmitNumber(FormatSink &Out, const Conversion &Conv, UINT64 Magnitude, bool Negative, bool Hex, CHAR8 *Scratch) {
  UINT32 Modifiers = Conv.Modifiers;
  CHAR8 *End = Scratch + kScratchChars;
  constexpr UINT32 kNotPlain = kGroup | kPrecisionGiven | kPlus | kBlank | kLeftJustify;
  if (!Negative && (Modifiers & kNotPlain) == 0) {
    // The common case, right-justified with no precision and no prefix: the precision is 1, so there
    // are always digits; a width is filled with zeros ('0' given) or blanks in front of them.
    CHAR8 *Digits = WriteDigits(End, Magnitude, Hex, false);
    UINTN Count = static_cast<UINTN>(End - Digits);
    UINT32 Width = Conv.Width;  // 0 when none was given
    if (Width > Count) {
      if ((Modifiers & kZeroPad) == 0) {
        Out.Repeat(' ', Width - Count);
      } else if (Width - Count < static_cast<UINTN>(Digits - Scratch)) {
        while (Count < Width) {
          *--Digits = '0';
          ++Count;
        }
      } else {
        Out.Repeat('0', Width - Count);
      }
    }
    Out.Text(reinterpret_cast<const UINT8 *>(Digits), Count, 1);
    return;
  }
  bool Group = (Modifiers & kGroup) != 0 && !Hex;
  UINT64 Precision = Group ? 1 : Conv.Precision;
  CHAR8 *Digits = (Magnitude == 0 && Precision == 0) ? End : WriteDigits(End, Magnitude, Hex, Group);
  UINTN DigitCount = static_cast<UINTN>(End - Digits);
  UINT64 Count = DigitCount;
  UINT32 Prefix = Negative ? '-' : (Modifiers & kPlus) != 0 ? '+' : (Modifiers & kBlank) != 0 ? ' ' : 0;
  if (Prefix != 0) {
    ++Count;
    ++Precision;
  }
  // Zero-padding fills the width when the width is given, the precision is not, and the number is
  // right-justified and not grouped.
  constexpr UINT32 kZeroPadTests = kZeroPad | kWidthGiven | kPrecisionGiven | kLeftJustify;
  if (!Group && (Modifiers & kZeroPadTests) == (kZeroPad | kWidthGiven)) Precision = Conv.Width;
  if (Precision < Count) Precision = Count;
  PadBefore(Out, Conv, Precision);
  UINT64 Zeros = Precision - Count;
  if (Zeros < static_cast<UINTN>(Digits - Scratch)) {
    // Prefix and zeros go in front of the digits in the scratch (there is room for both): one copy.
    for (; Zeros != 0; --Zeros) *--Digits = '0';
    if (Prefix != 0) *--Digits = static_cast<CHAR8>(Prefix);
    Out.Text(reinterpret_cast<const UINT8 *>(Digits), static_cast<UINTN>(End - Digits), 1);
  } else {
    if (Prefix != 0) Out.Put(Prefix);
    Out.Repeat('0', Zeros);
    Out.Text(reinterpret_cast<const UINT8 *>(Digits), DigitCount, 1);
  }
  PadAfter(Out, Conv, Precision);
}

UINT16 Load16(const UINT8 *P) { return static_cast<UINT16>(P[0] | (P[1] << 8)); }

// The text of "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x" of the fields, written directly.
void EmitGuid(FormatSink &Out, const Conversion &Conv, UINTN Address, CHAR8 *Scratch) {
  if (Address == 0) return EmitString8(Out, Conv, "<null guid>");
  const UINT8 *G = reinterpret_cast<const UINT8 *>(Address);
  CHAR8 *At = WriteHexDigits(Scratch, Load16(G) | (static_cast<UINT32>(Load16(G + 2)) << 16), 8);
  *At++ = '-';
  At = WriteHexDigits(At, Load16(G + 4), 4);
  *At++ = '-';
  At = WriteHexDigits(At, Load16(G + 6), 4);
  *At++ = '-';
  // The last eight bytes print in their own order: as big-endian numbers of 2, 2 and 4 bytes.
  At = WriteHexDigits(At, (static_cast<UINT32>(G[8]) << 8) | G[9], 4);
  *At++ = '-';
  At = WriteHexDigits(At, (static_cast<UINT32>(G[10]) << 8) | G[11], 4);
  At = WriteHexDigits(At, (static_cast<UINT32>(G[12]) << 24) | (G[13] << 16) | (G[14] << 8) | G[15], 8);
  *At = 0;
  EmitString8(Out, Conv, Scratch);
}

// Fields of a UEFI time record: year (u16 at 0), month, day, hour, minute (u8 at 2 to 5).
void EmitTime(FormatSink &Out, const Conversion &Conv, UINTN Address, CHAR8 *Scratch) {
  if (Address == 0) return EmitString8(Out, Conv, "<null time>");
  const UINT8 *T = reinterpret_cast<const UINT8 *>(Address);
  FormatTextWithFlags(Scratch, kScratchChars, 0, "%02d/%02d/%04d  %02d:%02d", T[2], T[3], Load16(T), T[4], T[5]);
  EmitString8(Out, Conv, Scratch);
}

void EmitStatus(FormatSink &Out, const Conversion &Conv, UINT32 Status, CHAR8 *Scratch) {
  const CHAR8 *Name = StatusName(Status);
  if (Out.Narrow() && Name != nullptr && Conv.Width == 0 && !Conv.Has(kPrecisionGiven)) {
    // EmitText's first case (no name is empty), without the call.
    Out.CopyNarrowUntil<narrow_copy::StopAtNul>(reinterpret_cast<const UINT8 *>(Name));
    return;
  }
  if (Name == nullptr) {
    FormatTextWithFlags(Scratch, kScratchChars, 0, "%08X", Status);
    Name = Scratch;
  }
  EmitString8(Out, Conv, Name);
}

// Emits the line end that starts with Char ('\n' or '\r') and returns the format past it: "\n" and
// "\n\r" and "\r\n" become CR LF, a lone "\r" stays.
const UINT8 *EmitLineEnd(FormatSink &Out, UINT32 Char, const UINT8 *Next) {
  const UINT32 Bytes = Out.FormatCharBytes();
  UINT32 Following = FormatCharAt(Next, Bytes);
  if (Char == '\n' || Following == '\n') {
    if (!Out.PutPairNarrow('\r', '\n')) {
      Out.Put('\r');
      Out.Put('\n');
    }
    if (Following == (Char == '\n' ? '\r' : '\n')) Next += Bytes;
  } else {
    Out.Put('\r');
  }
  return Next;
}

// A decimal run starting at Digits; saturates at 0xFFFFFFFF.
const UINT8 *ReadNumber(const UINT8 *Digits, UINT32 Bytes, UINT32 *Value) {
  UINT32 N = 0;
  for (UINT32 C = FormatCharAt(Digits, Bytes); C >= '0' && C <= '9'; C = FormatCharAt(Digits, Bytes)) {
    // 32-bit steps with overflow tests: a 64-bit product takes several instructions on IA-32.
    if (__builtin_mul_overflow(N, 10u, &N) || __builtin_add_overflow(N, C - '0', &N)) N = 0xFFFFFFFFu;
    Digits += Bytes;
  }
  *Value = N;
  return Digits;
}

// One conversion; Format points just past its '%'. Returns the format past the conversion, or null when
// a NUL ended it (the main loop ends too).
const UINT8 *Convert(FormatSink &Out, const UINT8 *Format, FormatArguments &Args) {
  const UINT32 Bytes = Out.FormatCharBytes();
  const UINT8 *const First = Format;  // the character right after the '%'
  Conversion Conv;
  bool AfterDot = false;
  CHAR8 Scratch[kScratchChars];
  // Letters (the conversions and 'l'/'L') and the other characters in two switches: a conversion letter
  // is found without first being compared with every modifier.
  for (;;) {
    UINT32 Char = FormatCharAt(Format, Bytes);
    Format += Bytes;
    if (Char > '9') {
      // 'x' and 'X', the listener's most frequent conversions, before the switch: its compares run in
      // the order of the characters' codes, which puts them last.
      if ((Char | 0x20) == 'x') {
        if (Char == 'X') Conv.Modifiers |= kZeroPad;
        EmitNumber(Out, Conv, Conv.Has(kLong) ? Args.Next64() : Args.Next32(), false, true, Scratch);
        return Format;
      }
      switch (Char) {
        case 'l':
        case 'L': Conv.Modifiers |= kLong; continue;
        case 'a': {
          const VOID *Text = reinterpret_cast<const VOID *>(Args.NextPointer());
          if (Text == nullptr) {
            EmitString8(Out, Conv, "<null string>");
          } else if (Out.Narrow() && Conv.Width == 0 && !Conv.Has(kPrecisionGiven)) {
            // EmitText's first case, without the call: the listener's strings take this path.
            Out.CopyNarrowUntil<narrow_copy::StopAtNul>(static_cast<const UINT8 *>(Text));
          } else {
            EmitText(Out, Conv, Text, 1, true);
          }
          return Format;
        }
        case 's':
        case 'S': {
          const VOID *Text = reinterpret_cast<const VOID *>(Args.NextPointer());
          if (Text == nullptr) EmitString8(Out, Conv, "<null string>");
          else EmitText(Out, Conv, Text, 2, true);
          return Format;
        }
        case 'c': EmitChar(Out, Conv, Args.Next32() & 0xFFFF); return Format;
        case 'd': {
          INT64 Value = Conv.Has(kLong) ? static_cast<INT64>(Args.Next64()) : static_cast<INT32>(Args.Next32());
          // Negated in unsigned arithmetic: the most negative value stays defined.
          UINT64 Magnitude = Value < 0 ? 0 - static_cast<UINT64>(Value) : static_cast<UINT64>(Value);
          EmitNumber(Out, Conv, Magnitude, Value < 0, false, Scratch);
          return Format;
        }
        case 'u':
          Conv.Modifiers &= ~kPlus;
          EmitNumber(Out, Conv, Conv.Has(kLong) ? Args.Next64() : Args.Next32(), false, false, Scratch);
          return Format;
        case 'p':
          Conv.Modifiers = (Conv.Modifiers | kZeroPad) & ~(kPlus | kBlank | kLong);
          EmitNumber(Out, Conv, Args.NextPointer(), false, true, Scratch);
          return Format;
        case 'g': EmitGuid(Out, Conv, Args.NextPointer(), Scratch); return Format;
        case 't': EmitTime(Out, Conv, Args.NextPointer(), Scratch); return Format;
        case 'r': EmitStatus(Out, Conv, Args.Next32(), Scratch); return Format;
        default: EmitChar(Out, Conv, Char); return Format;
      }
    }
    switch (Char) {
      case '-': Conv.Modifiers |= kLeftJustify; continue;
      case '+': Conv.Modifiers |= kPlus; continue;
      case ' ': Conv.Modifiers |= kBlank; continue;
      case ',': Conv.Modifiers |= kGroup; continue;
      case '.':
        AfterDot = true;
        Conv.Modifiers |= kPrecisionGiven;
        Conv.Precision = 0;
        continue;
      case '*':
        if (AfterDot) {
          Conv.Precision = Args.Next32();
        } else {
          Conv.Width = Args.Next32();
          Conv.Modifiers |= kWidthGiven;
        }
        continue;
      case '0':
      case '1':
      case '2':
      case '3':
      case '4':
      case '5':
      case '6':
      case '7':
      case '8':
      case '9':
        if (AfterDot) {
          Format = ReadNumber(Format - Bytes, Bytes, &Conv.Precision);
        } else {
          if (Char == '0') Conv.Modifiers |= kZeroPad;
          Format = ReadNumber(Format - Bytes, Bytes, &Conv.Width);
          Conv.Modifiers |= kWidthGiven;
        }
        continue;
      case 0: return nullptr;
      case '\n':
      case '\r':
        // Only a line end directly after the '%' is translated; after modifiers it is an unknown
        // conversion character like any other, emitted as itself with the conversion's layout.
        if (Format - Bytes == First) return EmitLineEnd(Out, Char, Format);
        EmitChar(Out, Conv, Char);
        return Format;
      default: EmitChar(Out, Conv, Char); return Format;
    }
  }
}

void Run(FormatSink &Out, const UINT8 *Format, FormatArguments &Args) {
  const UINT32 Bytes = Out.FormatCharBytes();
  while (!Out.Full()) {
    // Plain text in one copy; a format character that is special already (two conversions or line
    // ends in a row, the terminator) needs no copy at all.
    if (Bytes == 1 && Out.Narrow() && !narrow_copy::StopAtFormatSpecial::Byte(*Format)) {
      Format = Out.CopyNarrowUntil<narrow_copy::StopAtFormatSpecial>(Format);
      if (Out.Full()) return;
    }
    UINT32 Char = FormatCharAt(Format, Bytes);
    Format += Bytes;
    if (Char == 0) return;
    if (Char == '%') {
      Format = Convert(Out, Format, Args);
      if (Format == nullptr) return;
    } else if (Char == '\n' || Char == '\r') {
      Format = EmitLineEnd(Out, Char, Format);
    } else {
      Out.Put(Char);
    }
  }
}

// Length of a 16-bit format, counted up to FORMAT_MAX_16BIT_CHARS + 1 (no terminator among that many).
UINTN Format16Length(const UINT8 *Format) { return TextLength(Format, 2, FORMAT_MAX_16BIT_CHARS + 1); }

// The engine over an argument walker.
UINT32 FormatWithArguments(VOID *Buffer, UINTN Size, UINT32 Flags, const VOID *Format, FormatArguments &Args) {
  const UINT8 *Chars = static_cast<const UINT8 *>(Format);
  bool CountOnly = (Flags & FORMAT_COUNT_ONLY) != 0;
  bool WideOutput = (Flags & FORMAT_OUTPUT_16BIT) != 0;
  bool WideFormat = (Flags & FORMAT_FORMAT_16BIT) != 0;
  if (!CountOnly && (Size == 0 || Buffer == nullptr)) return 0;
  if (Format == nullptr) return 0;
  if (WideOutput && Size > FORMAT_MAX_16BIT_CHARS) return 0;
  if (WideFormat && Format16Length(Chars) > FORMAT_MAX_16BIT_CHARS) return 0;

  FormatSink Out(Buffer, Size, WideOutput, CountOnly, WideFormat ? 2 : 1);
  Run(Out, Chars, Args);
  return Out.Finish();
}

}  // namespace

UINT32 FormatTextEngine(VOID *Buffer, UINTN Size, UINT32 Flags, const VOID *Format, __builtin_va_list *VaList,
                        const VOID *PackedList) {
  FormatArguments Args(VaList, PackedList);
  return FormatWithArguments(Buffer, Size, Flags, Format, Args);
}

UINT32 FormatTextPacked(VOID *Buffer, UINTN Size, UINT32 Flags, const VOID *Format, const VOID *PackedList,
                        UINTN PackedListSize) {
  if (PackedList == nullptr) return FormatTextEngine(Buffer, Size, Flags, Format, nullptr, nullptr);
  FormatArguments Args(nullptr, PackedList, static_cast<const UINT8 *>(PackedList) + PackedListSize);
  return FormatWithArguments(Buffer, Size, Flags, Format, Args);
}

// The engine's wrapper is skipped on this, the listener's most frequent call.
UINT32 FormatText(VOID *Buffer, UINTN Size, const CHAR8 *Format, ...) {
  __builtin_va_list List;
  __builtin_va_start(List, Format);
  FormatArguments Args(&List, nullptr);
  UINT32 Count = FormatWithArguments(Buffer, Size, 0, Format, Args);
  __builtin_va_end(List);
  return Count;
}

UINT32 FormatTextWithFlags(VOID *Buffer, UINTN Size, UINT32 Flags, const VOID *Format, ...) {
  __builtin_va_list Args;
  __builtin_va_start(Args, Format);
  UINT32 Count = FormatTextEngine(Buffer, Size, Flags, Format, &Args, nullptr);
  __builtin_va_end(Args);
  return Count;
}
