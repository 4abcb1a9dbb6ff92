// Bounded lengths, the UCS-2 to ASCII copy and the memory functions.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "smbios/services/text_and_memory.h"
#include "uefi/status.h"

namespace {

TEST(BoundedLength, NullEmptyOrZeroMaxIsZero) {
  EXPECT_EQ(Ucs2BoundedLength(nullptr, 10), 0u);
  EXPECT_EQ(Ucs2BoundedLength(u"abc", 0), 0u);
  EXPECT_EQ(Ucs2BoundedLength(u"", 10), 0u);
  EXPECT_EQ(AsciiBoundedLength(nullptr, 10), 0u);
  EXPECT_EQ(AsciiBoundedLength("abc", 0), 0u);
  EXPECT_EQ(AsciiBoundedLength("", 10), 0u);
}

TEST(BoundedLength, CountsUpToTheNulOrAnswersMax) {
  EXPECT_EQ(Ucs2BoundedLength(u"JSLOT1", 65), 6u);
  EXPECT_EQ(Ucs2BoundedLength(u"JSLOT1", 6), 6u);  // no NUL among positions 1..5
  EXPECT_EQ(Ucs2BoundedLength(u"JSLOT1", 3), 3u);
  EXPECT_EQ(AsciiBoundedLength("abcd", 5), 4u);
  EXPECT_EQ(AsciiBoundedLength("abcd", 2), 2u);
  const char unterminated[4] = {'w', 'x', 'y', 'z'};
  EXPECT_EQ(AsciiBoundedLength(unterminated, 4), 4u);  // reads no byte past the bound
}

TEST(Ucs2ToAsciiCopy, RefusesBadArguments) {
  char out[8];
  EXPECT_EQ(Ucs2ToAsciiCopy(nullptr, u"a", 8), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Ucs2ToAsciiCopy(out, nullptr, 8), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Ucs2ToAsciiCopy(out, u"a", 0), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Ucs2ToAsciiCopy(out, u"a", 1000001), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Ucs2ToAsciiCopy(out, u"a", 1000000), EFI_SUCCESS);  // the largest destination taken
  EXPECT_STREQ(out, "a");
}

TEST(Ucs2ToAsciiCopy, CopiesLowBytesAndTerminates) {
  char out[8];
  std::memset(out, 'X', sizeof out);
  const char16_t text[] = {u'A', 0x0142, u'z', 0};  // 0x0142 keeps its low byte 0x42 'B'
  ASSERT_EQ(Ucs2ToAsciiCopy(out, text, sizeof out), EFI_SUCCESS);
  EXPECT_STREQ(out, "ABz");
  EXPECT_EQ(out[4], 'X');  // nothing written past the NUL
}

TEST(Ucs2ToAsciiCopy, TooLongForTheDestinationIsBufferTooSmall) {
  char out[6];
  std::memset(out, 'X', sizeof out);
  EXPECT_EQ(Ucs2ToAsciiCopy(out, u"JSLOT1", 6), EFI_BUFFER_TOO_SMALL);  // 6 characters need 7 bytes
  EXPECT_EQ(out[0], 'X');
  EXPECT_EQ(Ucs2ToAsciiCopy(out, u"JSLOT", 6), EFI_SUCCESS);
  EXPECT_STREQ(out, "JSLOT");
}

TEST(Ucs2ToAsciiCopy, OverlappingRangesAreAccessDenied) {
  alignas(2) char buffer[32] = {};
  auto* source = reinterpret_cast<char16_t*>(buffer + 8);
  source[0] = u'h';
  source[1] = u'i';
  source[2] = 0;
  EXPECT_EQ(Ucs2ToAsciiCopy(buffer + 10, source, 8), EFI_ACCESS_DENIED);
  EXPECT_EQ(Ucs2ToAsciiCopy(buffer + 4, source, 5), EFI_ACCESS_DENIED);  // destination end reaches the source
  EXPECT_EQ(Ucs2ToAsciiCopy(buffer, source, 8), EFI_SUCCESS);            // ends right where the source starts
  EXPECT_STREQ(buffer, "hi");
}

TEST(MemoryFunctions, ZeroMemoryClearsExactlyTheRangeAtAnyAlignment) {
  for (size_t start = 0; start < 8; ++start) {
    for (size_t length : {0u, 1u, 7u, 8u, 9u, 17u}) {
      std::array<uint8_t, 40> bytes;
      bytes.fill(0xAB);
      ZeroMemory(bytes.data() + start, length);
      for (size_t i = 0; i < bytes.size(); ++i) {
        bool inside = i >= start && i < start + length;
        ASSERT_EQ(bytes[i], inside ? 0 : 0xAB) << "start " << start << " length " << length << " byte " << i;
      }
    }
  }
}

TEST(MemoryFunctions, CompareAnswersTheDifferenceOfTheFirstUnequalBytes) {
  const uint8_t a[] = {1, 2, 0x10, 9};
  const uint8_t b[] = {1, 2, 0xF0, 0};
  EXPECT_EQ(CompareMemory(a, b, 4), 0x10 - 0xF0);
  EXPECT_EQ(CompareMemory(b, a, 4), 0xF0 - 0x10);
  EXPECT_EQ(CompareMemory(a, b, 2), 0);
  EXPECT_EQ(CompareMemory(a, b, 0), 0);
}

TEST(MemoryFunctions, CopyIsSafeForOverlapInBothDirections) {
  std::string forward = "0123456789";
  CopyMemory(&forward[2], &forward[0], 6);  // destination inside the source: copied backwards
  EXPECT_EQ(forward, "0101234589");
  std::string backward = "0123456789";
  CopyMemory(&backward[0], &backward[2], 6);
  EXPECT_EQ(backward, "2345676789");
  std::string same = "abc";
  CopyMemory(&same[0], &same[0], 3);
  EXPECT_EQ(same, "abc");
}

TEST(MemoryFunctions, LittleEndianWordsTakeExactlyFourBytes) {
  std::array<uint8_t, 6> bytes;
  bytes.fill(0xEE);
  WriteLittleEndian32(bytes.data() + 1, 0x12345678);
  EXPECT_EQ(bytes, (std::array<uint8_t, 6>{0xEE, 0x78, 0x56, 0x34, 0x12, 0xEE}));
  EXPECT_EQ(ReadLittleEndian32(bytes.data() + 1), 0x12345678u);
  EXPECT_EQ(ReadLittleEndian32(bytes.data() + 2), 0xEE123456u);
}

TEST(MemoryFunctions, FillWritesTheValueOverTheRangeOnly) {
  std::array<uint8_t, 6> bytes{};
  FillMemory(bytes.data() + 1, 4, 0x5A);
  EXPECT_EQ(bytes, (std::array<uint8_t, 6>{0, 0x5A, 0x5A, 0x5A, 0x5A, 0}));
}

}  // namespace
