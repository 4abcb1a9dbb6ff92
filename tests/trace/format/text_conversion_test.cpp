// String, character, GUID, time, status-name and fallback conversions, and their layout.
#include <cstdint>

#include "tests/trace/format/format_test_support.h"
#include "uefi/guid.h"

namespace {

using format_test::Fmt;

TEST(AsciiString, WidthPrecisionAndNull) {
  EXPECT_EQ(Fmt("%a", "abc"), "abc");
  EXPECT_EQ(Fmt("%5a", "abc"), "  abc");
  EXPECT_EQ(Fmt("%-5a|", "abc"), "abc  |");
  EXPECT_EQ(Fmt("%.2a", "abc"), "ab");
  EXPECT_EQ(Fmt("%5.2a|", "abc"), "   ab|");
  EXPECT_EQ(Fmt("%.0a|", "abc"), "|");
  EXPECT_EQ(Fmt("%a", static_cast<const char*>(nullptr)), "<null string>");
  EXPECT_EQ(Fmt("%a|", ""), "|");
}

TEST(AsciiString, PrecisionBeyondTheTextPadsWithBlanks) {
  // The precision is the item's minimum size too: the text is right-aligned within it.
  EXPECT_EQ(Fmt("%.5a|", "abc"), "  abc|");
  EXPECT_EQ(Fmt("%-7.5a|", "abc"), "  abc  |");
}

TEST(AsciiString, PrecisionBoundsTheBytesRead) {
  // No terminator within the precision: exactly that many bytes are read.
  const char Unterminated[3] = {'x', 'y', 'z'};
  EXPECT_EQ(Fmt("%.3a|", Unterminated), "xyz|");
}

TEST(AsciiString, LineEndsInArgumentsAreNotTranslated) { EXPECT_EQ(Fmt("%a", "x\ny\rz"), "x\ny\rz"); }

TEST(WideString, LowByteOfEachCharacterInEightBitOutput) {
  EXPECT_EQ(Fmt("%s", u"wide"), "wide");
  EXPECT_EQ(Fmt("%S", u"Wide"), "Wide");
  EXPECT_EQ(Fmt("%s", u"\u0141\u2342"), "AB");
  EXPECT_EQ(Fmt("%6.3s|", u"abcdef"), "   abc|");
  EXPECT_EQ(Fmt("%s", static_cast<const char16_t*>(nullptr)), "<null string>");
  EXPECT_EQ(Fmt("%S", static_cast<const char16_t*>(nullptr)), "<null string>");
}

TEST(WideString, UnalignedCharacters) {
  alignas(2) uint8_t Bytes[8] = {0, 'o', 0, 'k', 0, 0, 0, 0};
  EXPECT_EQ(Fmt("%s", Bytes + 1), "ok");
}

TEST(Character, ZeroIsOneBlankAndOthersThemselves) {
  EXPECT_EQ(Fmt("[%c]", 0), "[ ]");
  EXPECT_EQ(Fmt("%c", 'A'), "A");
  EXPECT_EQ(Fmt("%3c", 'A'), "  A");
  EXPECT_EQ(Fmt("%-3c|", 'A'), "A  |");
  EXPECT_EQ(Fmt("%c", 0x263A), ":");
  // Only the low 16 bits are the character.
  EXPECT_EQ(Fmt("%c", 0x10042), "B");
  EXPECT_EQ(Fmt("[%.0c]", 'A'), "[]");
}

const EFI_GUID kOrigin = {0x23A3E7BA, 0x75D1, 0x4CB9, {0x9C, 0x8F, 0x56, 0xFA, 0x4E, 0x48, 0xD9, 0x9E}};

TEST(Guid, ThirtySixUpperCaseCharactersInTheUefiLayout) {
  std::string Text = Fmt("%g", &kOrigin);
  EXPECT_EQ(Text, "23A3E7BA-75D1-4CB9-9C8F-56FA4E48D99E");
  EXPECT_EQ(Text.size(), 36u);
  const EFI_GUID Small = {0x1, 0x2, 0x3, {0, 1, 2, 3, 4, 5, 6, 7}};
  EXPECT_EQ(Fmt("%g", &Small), "00000001-0002-0003-0001-020304050607");
  // Top bits set in every field and byte: no sign spreads from one byte into its neighbours.
  const EFI_GUID High = {0xFFFFFFFE, 0x8001, 0xFF7F, {0xFF, 0xFE, 0x80, 0x81, 0xC0, 0xDE, 0xAD, 0x7F}};
  EXPECT_EQ(Fmt("%g", &High), "FFFFFFFE-8001-FF7F-FFFE-8081C0DEAD7F");
  EXPECT_EQ(Fmt("%g", static_cast<const EFI_GUID*>(nullptr)), "<null guid>");
}

TEST(Guid, UnalignedRecordWidthAndPrecision) {
  uint8_t Bytes[17];
  memcpy(Bytes + 1, &kOrigin, 16);
  EXPECT_EQ(Fmt("%g", Bytes + 1), "23A3E7BA-75D1-4CB9-9C8F-56FA4E48D99E");
  EXPECT_EQ(Fmt("%40g|", &kOrigin), "    23A3E7BA-75D1-4CB9-9C8F-56FA4E48D99E|");
  EXPECT_EQ(Fmt("%.8g|", &kOrigin), "23A3E7BA|");
}

TEST(Time, MonthDayYearHourMinute) {
  // Year 2024 (u16), month 3, day 7, hour 9, minute 5; the fields after offset 5 are not read.
  const uint8_t Record[16] = {0xE8, 0x07, 3, 7, 9, 5, 59, 0xFF};
  EXPECT_EQ(Fmt("%t", Record), "03/07/2024  09:05");
  const uint8_t Wide[8] = {0xFF, 0xFF, 12, 31, 23, 59};
  EXPECT_EQ(Fmt("%t", Wide), "12/31/65535  23:59");
  EXPECT_EQ(Fmt("%t", static_cast<const void*>(nullptr)), "<null time>");
}

TEST(StatusName, KnownValuesByNameOthersAsEightDigits) {
  EXPECT_EQ(Fmt("%r", 0), "Success");
  EXPECT_EQ(Fmt("%r", 5), "Warning Stale Data");
  EXPECT_EQ(Fmt("%r", 6), "00000006");
  EXPECT_EQ(Fmt("%r", 0x80000001u), "Load Error");
  EXPECT_EQ(Fmt("%r", 0x8000000Eu), "Not Found");
  EXPECT_EQ(Fmt("%r", 0x8000001Du), "Reserved (29)");
  EXPECT_EQ(Fmt("%r", 0x80000021u), "Compromised Data");
  EXPECT_EQ(Fmt("%r", 0x80000022u), "80000022");
  EXPECT_EQ(Fmt("%r", 0x80000000u), "80000000");
  EXPECT_EQ(Fmt("%r", 0xFFFFFFFFu), "FFFFFFFF");
}

TEST(StatusName, LaidOutLikeAString) {
  EXPECT_EQ(Fmt("%-10r|", 0), "Success   |");
  EXPECT_EQ(Fmt("%10r|", 0x80000003u), "Unsupported|");
  EXPECT_EQ(Fmt("%.3r|", 0x80000003u), "Uns|");
}

TEST(Fallback, UnknownConversionCharactersPrintThemselves) {
  EXPECT_EQ(Fmt("100%%"), "100%");
  EXPECT_EQ(Fmt("%q"), "q");
  EXPECT_EQ(Fmt("%5q|"), "    q|");
  EXPECT_EQ(Fmt("%-3%|"), "%  |");
  // No argument is consumed by the fallback.
  EXPECT_EQ(Fmt("%y%d", 4), "y4");
}

}  // namespace
