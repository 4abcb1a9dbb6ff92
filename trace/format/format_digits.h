// Digits of unsigned numbers for the formatter: decimal (optionally grouped by thousands) or upper-case
// hexadecimal, produced by 64-by-32-bit division without any compiler runtime helper.
#pragma once
#include "uefi/base_types.h"

// Most characters WriteDigits produces: 20 decimal digits and 6 separators.
constexpr UINTN FORMAT_MAX_DIGITS = 26;

// Dividend / Divisor (Divisor != 0); the remainder goes to *Remainder.
UINT64 DivideU64ByU32(UINT64 Dividend, UINT32 Divisor, UINT32 *Remainder);

// Writes the digits of Value so that they end just before End and returns where they start. Hex selects
// radix 16 (digits "0123456789ABCDEF"); Group puts ',' between every three decimal digits from the right.
// Value 0 gives "0". At most FORMAT_MAX_DIGITS characters are written.
CHAR8 *WriteDigits(CHAR8 *End, UINT64 Value, bool Hex, bool Group);

// Writes the Digits (1 to 8) low hexadecimal digits of Value, upper case, from At on; returns the end.
CHAR8 *WriteHexDigits(CHAR8 *At, UINT32 Value, UINT32 Digits);
