// The firmware images' runtime hooks, compiled here under test names beside the C library's functions.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#define RUNTIME_HOOK(name) TestHook_##name
#include "firmware/runtime_hooks.cpp"

namespace {

std::vector<uint8_t> Pattern(size_t Length) {
  std::vector<uint8_t> Bytes(Length);
  for (size_t I = 0; I < Length; ++I) {
    Bytes[I] = static_cast<uint8_t>(I * 7 + 3);
  }
  return Bytes;
}

TEST(RuntimeHookMemory, CopyCopiesExactlyTheLengthAndReturnsTheDestination) {
  std::vector<uint8_t> Source = Pattern(100);
  std::vector<uint8_t> Destination(102, 0xEE);
  EXPECT_EQ(TestHook_memcpy(Destination.data() + 1, Source.data(), 100), Destination.data() + 1);
  EXPECT_EQ(Destination[0], 0xEE);
  EXPECT_EQ(std::memcmp(Destination.data() + 1, Source.data(), 100), 0);
  EXPECT_EQ(Destination[101], 0xEE);
  EXPECT_EQ(TestHook_memcpy(Destination.data(), nullptr, 0), Destination.data());
}

TEST(RuntimeHookMemory, FillUsesTheLowByteOfTheValue) {
  std::vector<uint8_t> Buffer(34, 0x11);
  EXPECT_EQ(TestHook_memset(Buffer.data() + 1, 0x1AB, 32), Buffer.data() + 1);
  EXPECT_EQ(Buffer[0], 0x11);
  for (size_t I = 1; I <= 32; ++I) {
    EXPECT_EQ(Buffer[I], 0xAB) << I;
  }
  EXPECT_EQ(Buffer[33], 0x11);
}

TEST(RuntimeHookMemory, MoveMatchesTheLibraryForEveryOverlap) {
  const std::vector<uint8_t> Start = Pattern(64);
  for (size_t From = 0; From < 24; ++From) {
    for (size_t To = 0; To < 24; ++To) {
      std::vector<uint8_t> Ours = Start;
      std::vector<uint8_t> Theirs = Start;
      EXPECT_EQ(TestHook_memmove(Ours.data() + To, Ours.data() + From, 40), Ours.data() + To);
      std::memmove(Theirs.data() + To, Theirs.data() + From, 40);
      EXPECT_EQ(Ours, Theirs) << "from " << From << " to " << To;
    }
  }
}

TEST(RuntimeHookMemory, CompareOrdersByUnsignedBytesAndStopsAtTheLength) {
  const uint8_t High[] = {1, 2, 0x80, 0};
  const uint8_t Low[] = {1, 2, 0x7F, 9};
  EXPECT_GT(TestHook_memcmp(High, Low, 4), 0);
  EXPECT_LT(TestHook_memcmp(Low, High, 4), 0);
  EXPECT_EQ(TestHook_memcmp(High, Low, 2), 0);
  EXPECT_EQ(TestHook_memcmp(High, Low, 0), 0);
  const uint8_t LastDiffers[] = {1, 2, 0x80, 1};
  EXPECT_LT(TestHook_memcmp(High, LastDiffers, 4), 0);
}

TEST(RuntimeHookDivision, UnsignedMatchesTheHardwareDivide) {
  std::mt19937_64 Random(10);
  for (int Round = 0; Round < 20000; ++Round) {
    UINT64 Dividend = Random();
    // Divisors of every width, so both the long and the short quotients occur.
    UINT64 Divisor = Random() >> (Random() % 64);
    if (Divisor == 0) {
      Divisor = 1;
    }
    UINT64 Rest = 0;
    ASSERT_EQ(DivideU64(Dividend, Divisor, &Rest), Dividend / Divisor) << Dividend << " / " << Divisor;
    ASSERT_EQ(Rest, Dividend % Divisor) << Dividend << " % " << Divisor;
  }
  UINT64 Rest = 1;
  EXPECT_EQ(DivideU64(5, 7, &Rest), 0u);
  EXPECT_EQ(Rest, 5u);
  EXPECT_EQ(DivideU64(~0ull, 1, &Rest), ~0ull);
  EXPECT_EQ(Rest, 0u);
}

TEST(RuntimeHookDivision, SignedTruncatesTowardZero) {
  const INT64 Values[] = {7,
                          -7,
                          2,
                          -2,
                          1,
                          -1,
                          1000000007,
                          -999999999999,
                          std::numeric_limits<INT64>::max(),
                          std::numeric_limits<INT64>::min() + 1};
  for (INT64 Dividend : Values) {
    for (INT64 Divisor : Values) {
      INT64 Rest = 0;
      ASSERT_EQ(DivideS64(Dividend, Divisor, &Rest), Dividend / Divisor) << Dividend << " / " << Divisor;
      ASSERT_EQ(Rest, Dividend % Divisor) << Dividend << " % " << Divisor;
    }
  }
  INT64 Rest = 0;
  EXPECT_EQ(DivideS64(std::numeric_limits<INT64>::min(), 2, &Rest), std::numeric_limits<INT64>::min() / 2);
  EXPECT_EQ(DivideS64(std::numeric_limits<INT64>::min(), 3, &Rest), std::numeric_limits<INT64>::min() / 3);
  EXPECT_EQ(Rest, std::numeric_limits<INT64>::min() % 3);
}

TEST(RuntimeHookDivision, DivisionByZeroGivesAllOnesAndKeepsTheDividend) {
  UINT64 Rest = 0;
  EXPECT_EQ(DivideU64(1234, 0, &Rest), ~0ull);
  EXPECT_EQ(Rest, 1234u);
}

}  // namespace
