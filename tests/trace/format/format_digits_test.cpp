// 64-by-32-bit division (inline on IA-32) and digit production.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "trace/format/format_digits.h"

namespace {

TEST(Division, MatchesNativeDivisionAtTheEdges) {
  const UINT64 Dividends[] = {0, 1, 9, 10, 0xFFFFFFFFull, 0x100000000ull, 0x123456789ABCDEFull,
                              UINT64_MAX, UINT64_MAX - 1, 0x8000000000000000ull};
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
  char *End = Buffer + sizeof Buffer;
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

}  // namespace
