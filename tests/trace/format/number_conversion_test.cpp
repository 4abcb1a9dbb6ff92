// Decimal and hexadecimal conversions: sign, prefixes, width, precision, zero-padding, grouping, 'l'.
#include <cstdint>

#include "tests/trace/format/format_test_support.h"

namespace {

using format_test::CountOf;
using format_test::Fmt;

TEST(DecimalWidthAndPadding, RightLeftAndZeroPadded) {
  EXPECT_EQ(Fmt("%5d", 42), "   42");
  EXPECT_EQ(Fmt("%-5d|", 42), "42   |");
  EXPECT_EQ(Fmt("%05d", -42), "-0042");
  EXPECT_EQ(Fmt("%05d", 42), "00042");
  EXPECT_EQ(Fmt("%5d", -42), "  -42");
  // Zero-padding does not apply to a left-justified conversion.
  EXPECT_EQ(Fmt("%-05d|", -42), "-42  |");
  EXPECT_EQ(Fmt("%2d", 12345), "12345");
}

// Widths filled in front of the digits: zeros when they fit the scratch buffer and when they do not,
// blanks, and widths below the digit count.
TEST(WidthFill, ZerosOrBlanksInFrontOfTheDigitsAtEverySize) {
  EXPECT_EQ(Fmt("%5x", 0xABu), "   AB");
  EXPECT_EQ(Fmt("%05x", 0xABu), "000AB");
  EXPECT_EQ(Fmt("%X|%08X|%x", 0u, 0u, 0u), "0|00000000|0");
  EXPECT_EQ(Fmt("%3d|%03u", 12345, 12345u), "12345|12345");
  EXPECT_EQ(Fmt("%030d", 7), std::string(29, '0') + "7");
  EXPECT_EQ(Fmt("%040d", 7), std::string(39, '0') + "7");
  EXPECT_EQ(Fmt("%0*x", 60, 0xFu), std::string(59, '0') + "F");
  EXPECT_EQ(Fmt("%*u", 40, 99u), std::string(38, ' ') + "99");
  char Cut[12];
  EXPECT_EQ(FormatText(Cut, sizeof Cut, "%040d", 7), 11u);
  EXPECT_STREQ(Cut, "00000000000");
}

TEST(DecimalPrefixes, PlusBlankAndMinus) {
  EXPECT_EQ(Fmt("%+d", 7), "+7");
  EXPECT_EQ(Fmt("%+d", -7), "-7");
  EXPECT_EQ(Fmt("% d", 7), " 7");
  EXPECT_EQ(Fmt("%+ d", 7), "+7");
  EXPECT_EQ(Fmt("% +d", 0), "+0");
  EXPECT_EQ(Fmt("%+05d", 7), "+0007");
  EXPECT_EQ(Fmt("%+u", 7u), "7");
  EXPECT_EQ(Fmt("% u", 7u), " 7");
}

TEST(DecimalPrecision, PadsDigitsWithZerosAndZeroPrecisionHidesZero) {
  EXPECT_EQ(Fmt("%.3d", 7), "007");
  EXPECT_EQ(Fmt("%.3d", -7), "-007");
  EXPECT_EQ(Fmt("%6.3d|", -7), "  -007|");
  EXPECT_EQ(Fmt("%-6.3d|", 7), "007   |");
  // A given precision keeps zero-padding from taking the width.
  EXPECT_EQ(Fmt("%06.3d", 7), "   007");
  EXPECT_EQ(Fmt("%.0d", 0), "");
  EXPECT_EQ(Fmt("[%.d]", 0), "[]");
  EXPECT_EQ(Fmt("%d", 0), "0");
  EXPECT_EQ(Fmt("%.0d", 5), "5");
  EXPECT_EQ(Fmt("%+.0d", 0), "+");
  EXPECT_EQ(Fmt("%3.0d|", 0), "   |");
  EXPECT_EQ(Fmt("%.0x", 0u), "");
  // Zeros and sign in front of the digits in the scratch buffer while they fit, written apart beyond.
  EXPECT_EQ(Fmt("%.37d", 7), std::string(36, '0') + "7");
  EXPECT_EQ(Fmt("%+.37d", 7), "+" + std::string(36, '0') + "7");
  EXPECT_EQ(Fmt("%+.38d", 7), "+" + std::string(37, '0') + "7");
  EXPECT_EQ(Fmt("%.60d", -7), "-" + std::string(59, '0') + "7");
}

TEST(DecimalGrouping, CommasEveryThreeDigitsAndNoZeroPadding) {
  EXPECT_EQ(Fmt("%,d", 1234567), "1,234,567");
  EXPECT_EQ(Fmt("%,d", -1234), "-1,234");
  EXPECT_EQ(Fmt("%,d", 999), "999");
  EXPECT_EQ(Fmt("%,d", 1000), "1,000");
  EXPECT_EQ(Fmt("%,d", 0), "0");
  EXPECT_EQ(Fmt("%,u", 4294967295u), "4,294,967,295");
  EXPECT_EQ(Fmt("%,lu", UINT64_MAX), "18,446,744,073,709,551,615");
  EXPECT_EQ(Fmt("%010,d", 1234567), " 1,234,567");
  // Grouping resets the precision to 1.
  EXPECT_EQ(Fmt("%,.6d", 12), "12");
  EXPECT_EQ(Fmt("%,.0d", 0), "0");
  EXPECT_EQ(Fmt("%,x", 0x12345u), "12345");
}

TEST(Extension, DecimalSignExtendsAndOthersZeroExtend32BitArguments) {
  EXPECT_EQ(Fmt("%d", 0xFFFFFFFFu), "-1");
  EXPECT_EQ(Fmt("%u", 0xFFFFFFFFu), "4294967295");
  EXPECT_EQ(Fmt("%x", -1), "FFFFFFFF");
  EXPECT_EQ(Fmt("%ld", static_cast<INT64>(-5)), "-5");
  EXPECT_EQ(Fmt("%lu", UINT64_MAX), "18446744073709551615");
  EXPECT_EQ(Fmt("%Ld", static_cast<INT64>(1) << 40), "1099511627776");
}

TEST(MostNegative, ThirtyTwoBitWithGroupingAndPadding) {
  EXPECT_EQ(Fmt("%d", INT32_MIN), "-2147483648");
  EXPECT_EQ(Fmt("%,d", INT32_MIN), "-2,147,483,648");
  EXPECT_EQ(Fmt("%015d", INT32_MIN), "-00002147483648");
  EXPECT_EQ(Fmt("%15d|", INT32_MIN), "    -2147483648|");
  EXPECT_EQ(Fmt("%-16,d|", INT32_MIN), "-2,147,483,648  |");
}

TEST(MostNegative, SixtyFourBitWithGroupingAndPadding) {
  EXPECT_EQ(Fmt("%ld", INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(Fmt("%,ld", INT64_MIN), "-9,223,372,036,854,775,808");
  EXPECT_EQ(Fmt("%025ld", INT64_MIN), "-000009223372036854775808");
  EXPECT_EQ(Fmt("%28,ld|", INT64_MIN), "  -9,223,372,036,854,775,808|");
  EXPECT_EQ(Fmt("%ld", INT64_MAX), "9223372036854775807");
  EXPECT_EQ(Fmt("%lx", static_cast<UINT64>(INT64_MIN)), "8000000000000000");
}

TEST(Hexadecimal, UpperCaseAndXImpliesZeroPadding) {
  EXPECT_EQ(Fmt("%x", 0xABCDEF12u), "ABCDEF12");
  EXPECT_EQ(Fmt("%X", 0xabcu), "ABC");
  EXPECT_EQ(Fmt("%8X", 0xFFu), "000000FF");
  EXPECT_EQ(Fmt("%8x", 0xFFu), "      FF");
  EXPECT_EQ(Fmt("%08x", 0xFFu), "000000FF");
  EXPECT_EQ(Fmt("%-8X|", 0xFFu), "FF      |");
  EXPECT_EQ(Fmt("%lx", 0x123456789ABCDEF0ull), "123456789ABCDEF0");
  EXPECT_EQ(Fmt("%016lX", 0xBEEFull), "000000000000BEEF");
  EXPECT_EQ(Fmt("%+x", 0x1Fu), "+1F");
}

TEST(Hexadecimal, LongTakesEightBytesOfArgument) {
  // The 64-bit argument consumes the slot the following conversion would otherwise read.
  EXPECT_EQ(Fmt("%lx %x", 0x0000000100000002ull, 3u), "100000002 3");
  EXPECT_EQ(Fmt("%x %x", 1u, 2u), "1 2");
}

TEST(Pointer, HexadecimalZeroPaddedWithPrefixesAndLongCancelled) {
  const void* P = reinterpret_cast<const void*>(static_cast<uintptr_t>(0x1234));
  EXPECT_EQ(Fmt("%p", P), "1234");
  EXPECT_EQ(Fmt("%8p", P), "00001234");
  EXPECT_EQ(Fmt("%+ 8p", P), "00001234");
  EXPECT_EQ(Fmt("%l8p %d", P, 5), "00001234 5");
  EXPECT_EQ(Fmt("%p", static_cast<const void*>(nullptr)), "0");
}

TEST(StarArguments, WidthAndPrecisionFromTheArgumentList) {
  EXPECT_EQ(Fmt("%*d", 5, 42), "   42");
  EXPECT_EQ(Fmt("%-*d|", 5, 42), "42   |");
  EXPECT_EQ(Fmt("%.*d", 3, 7), "007");
  EXPECT_EQ(Fmt("%*.*d", 6, 3, -7), "  -007");
  EXPECT_EQ(Fmt("%0*d", 4, 9), "0009");
  // A star width is a given width: with a prefix, the zeros of 'X' fill it.
  EXPECT_EQ(Fmt("%+*X", 6, 0xABu), "+000AB");
}

TEST(CountOnly, NumbersCountDigitsSeparatorsAndPadding) {
  EXPECT_EQ(CountOf("%,d", -1234567), 10u);
  EXPECT_EQ(CountOf("%20lx", 1ull), 20u);
  EXPECT_EQ(CountOf("%.0d", 0), 0u);
}

}  // namespace
