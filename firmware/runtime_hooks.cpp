// Compiler runtime hooks of both firmware images: the memory functions the compiler emits calls to,
// the 64-bit division helpers of IA-32 code, and a trap for a call that must never happen.
// The images link no C library, so these are the only definitions of these names in them.
#include "uefi/base_types.h"

// The image build uses the names the compiler calls; a host test may include this file with its own names.
#ifndef RUNTIME_HOOK
#define RUNTIME_HOOK(name) name
#endif

namespace {

// The division helpers serve the IA-32 hooks at the end of the file; x86-64 code divides in hardware.
// Unsigned 64-bit division by shift and subtract: shifts and compares only, so it never calls itself.
[[maybe_unused]] UINT64 DivideU64(UINT64 Dividend, UINT64 Divisor, UINT64 *Remainder) {
  if (Divisor == 0) {
    // Division by zero is undefined; hand back all ones rather than loop or fault in firmware.
    *Remainder = Dividend;
    return ~static_cast<UINT64>(0);
  }
  UINT64 Quotient = 0;
  UINT64 Rest = 0;
  for (int Bit = 63; Bit >= 0; --Bit) {
    Rest = (Rest << 1) | ((Dividend >> Bit) & 1);
    if (Rest >= Divisor) {
      Rest -= Divisor;
      Quotient |= static_cast<UINT64>(1) << Bit;
    }
  }
  *Remainder = Rest;
  return Quotient;
}

UINT64 Magnitude(INT64 Value) {
  // Through unsigned arithmetic, so the most negative value has a magnitude too.
  return Value < 0 ? static_cast<UINT64>(0) - static_cast<UINT64>(Value) : static_cast<UINT64>(Value);
}

// Signed division truncates toward zero; the remainder takes the sign of the dividend.
[[maybe_unused]] INT64 DivideS64(INT64 Dividend, INT64 Divisor, INT64 *Remainder) {
  UINT64 Rest = 0;
  UINT64 Quotient = DivideU64(Magnitude(Dividend), Magnitude(Divisor), &Rest);
  if ((Dividend < 0) != (Divisor < 0)) {
    Quotient = static_cast<UINT64>(0) - Quotient;
  }
  if (Dividend < 0) {
    Rest = static_cast<UINT64>(0) - Rest;
  }
  *Remainder = static_cast<INT64>(Rest);
  return static_cast<INT64>(Quotient);
}

}  // namespace

extern "C" {

// Forward copies and fills use the string instructions, which need no loop the compiler could turn back
// into a call of the function being defined.
void *RUNTIME_HOOK(memcpy)(void *Destination, const void *Source, UINTN Length) {
  void *Result = Destination;
  __asm__ __volatile__("rep movsb" : "+D"(Destination), "+S"(Source), "+c"(Length) : : "memory");
  return Result;
}

void *RUNTIME_HOOK(memset)(void *Buffer, int Value, UINTN Length) {
  void *Result = Buffer;
  __asm__ __volatile__("rep stosb" : "+D"(Buffer), "+c"(Length) : "a"(Value) : "memory");
  return Result;
}

void *RUNTIME_HOOK(memmove)(void *Destination, const void *Source, UINTN Length) {
  UINT8 *To = static_cast<UINT8 *>(Destination);
  const UINT8 *From = static_cast<const UINT8 *>(Source);
  if (reinterpret_cast<UINTN>(To) - reinterpret_cast<UINTN>(From) >= Length) {
    // The destination does not start inside the source range, so a forward copy reads each byte first.
    return RUNTIME_HOOK(memcpy)(Destination, Source, Length);
  }
  // The destination starts inside the source: copy from the end so no byte is overwritten before it is read.
  while (Length != 0) {
    --Length;
    To[Length] = From[Length];
  }
  return Destination;
}

int RUNTIME_HOOK(memcmp)(const void *A, const void *B, UINTN Length) {
  const UINT8 *Left = static_cast<const UINT8 *>(A);
  const UINT8 *Right = static_cast<const UINT8 *>(B);
  for (UINTN Index = 0; Index < Length; ++Index) {
    if (Left[Index] != Right[Index]) {
      return static_cast<int>(Left[Index]) - static_cast<int>(Right[Index]);
    }
  }
  return 0;
}

// A call through an unfilled virtual slot is a programming error: stop at once.
void RUNTIME_HOOK(__cxa_pure_virtual)(void) { __builtin_trap(); }

#if defined(__i386__)
// IA-32 has no 64-bit divide instruction; the compiler calls these for 64-bit division and remainder.
UINT64 RUNTIME_HOOK(__udivdi3)(UINT64 Dividend, UINT64 Divisor) {
  UINT64 Rest = 0;
  return DivideU64(Dividend, Divisor, &Rest);
}

UINT64 RUNTIME_HOOK(__umoddi3)(UINT64 Dividend, UINT64 Divisor) {
  UINT64 Rest = 0;
  DivideU64(Dividend, Divisor, &Rest);
  return Rest;
}

INT64 RUNTIME_HOOK(__divdi3)(INT64 Dividend, INT64 Divisor) {
  INT64 Rest = 0;
  return DivideS64(Dividend, Divisor, &Rest);
}

INT64 RUNTIME_HOOK(__moddi3)(INT64 Dividend, INT64 Divisor) {
  INT64 Rest = 0;
  DivideS64(Dividend, Divisor, &Rest);
  return Rest;
}
#endif
}
