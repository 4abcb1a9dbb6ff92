// Digit production for the formatter and the 64-by-32-bit division it rests on.
#include "trace/format/format_digits.h"

namespace {

constexpr CHAR8 kDigits[] = "0123456789ABCDEF";

// Digits of a 32-bit value ending before At.
CHAR8 *WriteDecimal32(CHAR8 *At, UINT32 Value) {
  do {
    *--At = kDigits[Value % 10];
    Value /= 10;
  } while (Value != 0);
  return At;
}

// The low hexadecimal digits of Value, leading zeros included, filling Start up to End.
void WriteHexRange(CHAR8 *Start, CHAR8 *End, UINT32 Value) {
  for (CHAR8 *To = End; To != Start; Value >>= 4) *--To = kDigits[Value & 0xF];
}

// Hexadecimal digits of a 32-bit value ending before At.
CHAR8 *WriteHex32(CHAR8 *At, UINT32 Value) {
  do {
    *--At = kDigits[Value & 0xF];
    Value >>= 4;
  } while (Value != 0);
  return At;
}

}  // namespace

UINT64 DivideU64ByU32(UINT64 Dividend, UINT32 Divisor, UINT32 *Remainder) {
#if defined(__x86_64__)
  *Remainder = static_cast<UINT32>(Dividend % Divisor);
  return Dividend / Divisor;
#elif defined(__i386__)
  // Two 32-bit divisions: the high word, then remainder:low word, whose quotient fits in 32 bits. A plain
  // 64-bit '/' would go through the compiler's runtime helper, a far slower bit-by-bit loop in the image.
  UINT32 High = static_cast<UINT32>(Dividend >> 32);
  UINT32 QuotientHigh = High / Divisor;
  UINT32 Carry = High % Divisor;
  UINT32 QuotientLow;
  UINT32 Rest;
  __asm__("divl %4" : "=a"(QuotientLow), "=d"(Rest) : "a"(static_cast<UINT32>(Dividend)), "d"(Carry), "rm"(Divisor));
  *Remainder = Rest;
  return (static_cast<UINT64>(QuotientHigh) << 32) | QuotientLow;
#else
#error "64-by-32-bit division is written for x86 only"
#endif
}

CHAR8 *WriteDigits(CHAR8 *End, UINT64 Value, bool Hex, bool Group) {
  CHAR8 *At = End;
  if (Hex) {
    UINT32 High = static_cast<UINT32>(Value >> 32);
    if (High == 0) return WriteHex32(At, static_cast<UINT32>(Value));
    // The low word gives exactly eight digits, leading zeros included, then the high word follows.
    WriteHexRange(At - 8, At, static_cast<UINT32>(Value));
    return WriteHex32(At - 8, High);
  }
  if (!Group) {
    // 64-bit steps only while the value needs them; the rest runs on 32-bit arithmetic.
    while ((Value >> 32) != 0) {
      UINT32 Digit;
      Value = DivideU64ByU32(Value, 10, &Digit);
      *--At = kDigits[Digit];
    }
    return WriteDecimal32(At, static_cast<UINT32>(Value));
  }
  UINT32 InGroup = 0;
  while ((Value >> 32) != 0) {
    UINT32 Digit;
    Value = DivideU64ByU32(Value, 10, &Digit);
    *--At = kDigits[Digit];
    if (++InGroup == 3) {
      *--At = ',';
      InGroup = 0;
    }
  }
  UINT32 Low = static_cast<UINT32>(Value);
  for (;;) {
    *--At = kDigits[Low % 10];
    Low /= 10;
    if (Low == 0) return At;
    if (++InGroup == 3) {
      *--At = ',';
      InGroup = 0;
    }
  }
}

CHAR8 *WriteHexDigits(CHAR8 *At, UINT32 Value, UINT32 Digits) {
  WriteHexRange(At, At + Digits, Value);
  return At + Digits;
}
