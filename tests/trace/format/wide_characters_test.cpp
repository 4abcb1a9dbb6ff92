// 16-bit output and 16-bit format characters, and their size limits.
#include <cstdint>

#include "tests/trace/format/format_test_support.h"

namespace {

using format_test::FmtWide;
using format_test::GuardedMemory;

TEST(WideOutput, EveryConversionWritesSixteenBitCharacters) {
  EXPECT_EQ(FmtWide(0, "A%aB%sC%d\n", "xy", u"zw", -5), u"AxyBzwC-5\r\n");
  EXPECT_EQ(FmtWide(0, "%s", u"\u0141\u263A"), u"\u0141\u263A");
  EXPECT_EQ(FmtWide(0, "%c", 0x263A), u"\u263A");
  EXPECT_EQ(FmtWide(0, "[%c]", 0), u"[ ]");
  EXPECT_EQ(FmtWide(0, "%r", 0x80000002u), u"Invalid Parameter");
  EXPECT_EQ(FmtWide(0, "%5a|", static_cast<const char*>(nullptr)), u"<null string>|");
}

TEST(WideOutput, LittleEndianBytesAndTerminator) {
  uint8_t Bytes[8];
  memset(Bytes, 0xEE, sizeof Bytes);
  EXPECT_EQ(FormatTextWithFlags(Bytes, 3, FORMAT_OUTPUT_16BIT, "%c%c%c", 0x1234, 0x41, 0x42), 2u);
  const uint8_t Expected[8] = {0x34, 0x12, 0x41, 0x00, 0x00, 0x00, 0xEE, 0xEE};
  EXPECT_EQ(memcmp(Bytes, Expected, sizeof Bytes), 0);
}

TEST(WideFormat, SixteenBitFormatIntoEightBitOutput) {
  char Buffer[64];
  EXPECT_EQ(FormatTextWithFlags(Buffer, sizeof Buffer, FORMAT_FORMAT_16BIT, u"%d-%a\n%5x", 7, "ok", 0xABu), 11u);
  EXPECT_STREQ(Buffer, "7-ok\r\n   AB");
  // Characters above 0xFF keep only their low byte in 8-bit output.
  EXPECT_EQ(FormatTextWithFlags(Buffer, sizeof Buffer, FORMAT_FORMAT_16BIT, u"\u00E9\u263A"), 2u);
  EXPECT_STREQ(Buffer, "\xE9:");
}

TEST(WideFormat, SixteenBitFormatAndOutput) {
  EXPECT_EQ(FmtWide(FORMAT_FORMAT_16BIT, u"\u263A%-4d|%%\r\n", 12), u"\u263A12  |%\r\n");
  // A conversion character above 0xFF is not a known conversion: it prints itself.
  EXPECT_EQ(FmtWide(FORMAT_FORMAT_16BIT, u"%\u0164"), u"\u0164");
}

TEST(WideOutputLimit, SizeAtTheLimitIsAcceptedAndAboveItRejected) {
  std::vector<char16_t> Buffer(FORMAT_MAX_16BIT_CHARS + 2, u'#');
  // The width asks for more than fits: writing stops at the terminator slot.
  EXPECT_EQ(FormatTextWithFlags(Buffer.data(), FORMAT_MAX_16BIT_CHARS, FORMAT_OUTPUT_16BIT, "%1000005d", 7),
            FORMAT_MAX_16BIT_CHARS - 1);
  EXPECT_EQ(Buffer[FORMAT_MAX_16BIT_CHARS - 2], u' ');
  EXPECT_EQ(Buffer[FORMAT_MAX_16BIT_CHARS - 1], u'\0');
  EXPECT_EQ(Buffer[FORMAT_MAX_16BIT_CHARS], u'#');

  std::fill(Buffer.begin(), Buffer.end(), u'#');
  EXPECT_EQ(FormatTextWithFlags(Buffer.data(), FORMAT_MAX_16BIT_CHARS + 1, FORMAT_OUTPUT_16BIT, "abc"), 0u);
  EXPECT_EQ(Buffer[0], u'#');
  EXPECT_EQ(FormatTextWithFlags(nullptr, FORMAT_MAX_16BIT_CHARS + 1, FORMAT_OUTPUT_16BIT | FORMAT_COUNT_ONLY, "abc"),
            0u);
  // 8-bit output has no such limit.
  std::vector<char> Narrow(FORMAT_MAX_16BIT_CHARS + 2);
  EXPECT_EQ(FormatText(Narrow.data(), Narrow.size(), "abc"), 3u);
}

// A 16-bit format of Chars characters 'A' placed so that its last character ends at the guard page.
const char16_t* FormatAtGuard(GuardedMemory& Memory, size_t Chars) {
  char16_t* Format = reinterpret_cast<char16_t*>(Memory.End()) - Chars;
  for (size_t I = 0; I < Chars; ++I) Format[I] = u'A';
  return Format;
}

TEST(WideFormatLimit, NoTerminatorAmongTheFirstMillionAndOneIsRejectedWithoutReadingOn) {
  GuardedMemory Memory((FORMAT_MAX_16BIT_CHARS + 1) * 2);
  ASSERT_TRUE(Memory.Ok());
  // The character after these 1,000,001 lies in the faulting page: reading it would crash the test.
  const char16_t* Format = FormatAtGuard(Memory, FORMAT_MAX_16BIT_CHARS + 1);
  char Buffer[8] = {'#'};
  EXPECT_EQ(FormatTextWithFlags(Buffer, sizeof Buffer, FORMAT_FORMAT_16BIT, Format), 0u);
  EXPECT_EQ(Buffer[0], '#');
  EXPECT_EQ(FormatTextWithFlags(nullptr, 0, FORMAT_FORMAT_16BIT | FORMAT_COUNT_ONLY, Format), 0u);
}

TEST(WideFormatLimit, AMillionCharactersAreAcceptedAndOneMoreRejected) {
  GuardedMemory Memory((FORMAT_MAX_16BIT_CHARS + 2) * 2);
  ASSERT_TRUE(Memory.Ok());
  char16_t* Format = const_cast<char16_t*>(FormatAtGuard(Memory, FORMAT_MAX_16BIT_CHARS + 2));
  Format[FORMAT_MAX_16BIT_CHARS + 1] = u'\0';
  EXPECT_EQ(FormatTextWithFlags(nullptr, 0, FORMAT_FORMAT_16BIT | FORMAT_COUNT_ONLY, Format), 0u)
      << "1,000,001 characters";
  EXPECT_EQ(FormatTextWithFlags(nullptr, 0, FORMAT_FORMAT_16BIT | FORMAT_COUNT_ONLY, Format + 1),
            FORMAT_MAX_16BIT_CHARS)
      << "1,000,000 characters";
}

}  // namespace
