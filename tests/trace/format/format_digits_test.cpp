// 64-by-32-bit division (inline on IA-32) and digit production.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "trace/format/format_digits.h"

namespace {

TEST(Division, MatchesNativeDivisionAtTheEdges) {
  const UINT64 Dividends[] = {0,
                              1,
                              9,
                              10,
                              0xFFFFFFFFull,
                              0x100000000ull,
                              0x123456789ABCDEFull,
                              UINT64_MAX,
                              UINT64_MAX - 1,
                              0x8000000000000000ull};
  const UINT32 Divisors[] = {1, 3, 10, 16, 1000, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
  for (UINT64 N : Dividends) {
    for (UINT32 D : Divisors) {
      UINT32 Rest = 0xDEAD;
      EXPECT_EQ(DivideU64ByU32(N, D, &Rest), N / D) << N << " / " << D;
      EXPECT_EQ(Rest, N % D) << N << " % " << D;
    }
  }
}

std::string Digits(UINT64 Value, bool Hex, bool Group) {
  char Buffer[FORMAT_MAX_DIGITS];
  char* End = Buffer + sizeof Buffer;
  return std::string(WriteDigits(End, Value, Hex, Group), End);
}

TEST(Digits, LargestValuesFitAndGroupFromTheRight) {
  EXPECT_EQ(Digits(UINT64_MAX, false, true), "18,446,744,073,709,551,615");
  EXPECT_EQ(Digits(UINT64_MAX, false, true).size(), FORMAT_MAX_DIGITS);
  EXPECT_EQ(Digits(UINT64_MAX, true, false), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(Digits(4294967296ull, false, true), "4,294,967,296");
  EXPECT_EQ(Digits(100000, false, true), "100,000");
  EXPECT_EQ(Digits(0, false, true), "0");
  EXPECT_EQ(Digits(0, true, false), "0");
}

// Every length, and the values on both sides of each length change (and of the change from 64-bit to
// 32-bit steps).
TEST(Digits, EveryDecimalLengthMatchesTheLibrary) {
  UINT64 Power = 1;
  for (int Length = 1; Length <= 20; ++Length) {
    for (UINT64 Value : {Power, Power + 1, Power * 9 + (Power - 1), Power - 1}) {
      if (Value == 0 && Length > 1) continue;
      EXPECT_EQ(Digits(Value, false, false), std::to_string(Value)) << Value;
    }
    if (Length < 20) Power *= 10;
  }
  EXPECT_EQ(Digits(UINT64_MAX, false, false), std::to_string(UINT64_MAX));
  EXPECT_EQ(Digits(4294967295ull, false, false), "4294967295");
  EXPECT_EQ(Digits(4294967296ull, false, false), "4294967296");
}

TEST(Digits, EveryHexLengthMatchesTheLibrary) {
  for (int Bits = 0; Bits <= 64; ++Bits) {
    UINT64 Top = Bits == 64 ? 0 : UINT64_C(1) << Bits;
    for (UINT64 Value : {Top, Top - 1, Top | 0xA5, static_cast<UINT64>(Top + 0x0F0E0D0C0B0A0908ull)}) {
      char Expected[32];
      snprintf(Expected, sizeof Expected, "%llX", static_cast<unsigned long long>(Value));
      EXPECT_EQ(Digits(Value, true, false), Expected) << Value;
    }
  }
  // The low word keeps its leading zeros when a high word follows.
  EXPECT_EQ(Digits(0x100000000ull, true, false), "100000000");
  EXPECT_EQ(Digits(0xA00000001ull, true, false), "A00000001");
}

TEST(HexDigits, FixedCountsKeepLeadingZerosAndDropHigherDigits) {
  const char* Expected[] = {"", "1", "01", "A01", "0A01", "00A01", "700A01", "0700A01", "F0700A01"};
  for (UINT32 Count = 1; Count <= 8; ++Count) {
    char Out[12];
    memset(Out, '#', sizeof Out);
    CHAR8* End = WriteHexDigits(Out, 0xF0700A01u, Count);
    EXPECT_EQ(End, Out + Count);
    EXPECT_EQ(std::string(Out, Count), Expected[Count]);
    EXPECT_EQ(Out[Count], '#');
  }
}

}  // namespace
