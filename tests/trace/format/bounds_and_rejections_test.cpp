// The output bound and terminator, count-only mode, rejected calls and the flag mask.
#include "tests/trace/format/format_test_support.h"

namespace {

using format_test::CountOf;

constexpr char kTwenty[] = "abcdefghijklmnopqrst";

TEST(Bounds, LongTextIsCutAndTerminated) {
  char Buffer[12];
  memset(Buffer, '#', sizeof Buffer);
  EXPECT_EQ(FormatText(Buffer, 8, kTwenty), 7u);
  EXPECT_STREQ(Buffer, "abcdefg");
  EXPECT_EQ(Buffer[8], '#') << "nothing is written past the given size";
}

TEST(Bounds, AConversionIsCutInTheMiddle) {
  char Buffer[8];
  EXPECT_EQ(FormatText(Buffer, 5, "%d", 123456789), 4u);
  EXPECT_STREQ(Buffer, "1234");
  EXPECT_EQ(FormatText(Buffer, 6, "ab%a", "cdefgh"), 5u);
  EXPECT_STREQ(Buffer, "abcde");
  EXPECT_EQ(FormatText(Buffer, 4, "%8d", 1), 3u);
  EXPECT_STREQ(Buffer, "   ");
}

TEST(Bounds, ALineEndIsCutAfterItsCr) {
  char Buffer[4];
  EXPECT_EQ(FormatText(Buffer, 2, "\n"), 1u);
  EXPECT_STREQ(Buffer, "\r");
}

TEST(Bounds, AFullBufferEndsTheFormatBeforeItsNextArgument) {
  // The argument points at a page that faults: a conversion after the output is full must not read it.
  format_test::GuardedMemory Memory(4096);
  ASSERT_TRUE(Memory.Ok());
  const void* Faulting = Memory.End();
  char Narrow[8];
  EXPECT_EQ(FormatText(Narrow, 4, "abc%s", Faulting), 3u);
  EXPECT_STREQ(Narrow, "abc");
  char16_t Wide[8];
  EXPECT_EQ(FormatTextWithFlags(Wide, 4, FORMAT_OUTPUT_16BIT, "abc%s", Faulting), 3u);
  EXPECT_EQ(std::u16string(Wide), u"abc");
}

TEST(Bounds, SizeOneHoldsOnlyTheTerminator) {
  char Buffer[2] = {'#', '#'};
  EXPECT_EQ(FormatText(Buffer, 1, "%d", 5), 0u);
  EXPECT_EQ(Buffer[0], '\0');
  EXPECT_EQ(Buffer[1], '#');
}

TEST(Bounds, ExactFitUsesEverySlot) {
  char Buffer[4];
  EXPECT_EQ(FormatText(Buffer, 4, "%d", 123), 3u);
  EXPECT_STREQ(Buffer, "123");
}

TEST(CountOnly, SizeZeroGivesTheFullLengthAndWritesNothing) {
  EXPECT_EQ(FormatTextWithFlags(nullptr, 0, FORMAT_COUNT_ONLY, kTwenty), 20u);
  char Buffer[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(FormatTextWithFlags(Buffer, 0, FORMAT_COUNT_ONLY, kTwenty), 20u);
  EXPECT_EQ(FormatTextWithFlags(Buffer, 4, FORMAT_COUNT_ONLY, "%a\n", kTwenty), 22u);
  for (char C : Buffer) EXPECT_EQ(C, '#') << "count-only writes nothing, not even the terminator";
}

TEST(CountOnly, CountsWhatWritingWouldProduce) {
  const char* Formats[] = {"%5d|%-4x|%a", "%,d %r %a %g", "\n\r%c%c", "%+.8d%%%10r%.2a%t"};
  for (const char* Format : Formats) {
    char Buffer[128];
    UINT32 Written = FormatText(Buffer, sizeof Buffer, Format, -12345, 0x80000005u, "text", nullptr);
    EXPECT_EQ(CountOf(Format, -12345, 0x80000005u, "text", nullptr), Written) << Format;
  }
}

TEST(Rejections, NoBufferOrNoSizeWhenWriting) {
  char Buffer[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(FormatText(Buffer, 0, "abc"), 0u);
  EXPECT_EQ(Buffer[0], '#');
  EXPECT_EQ(FormatText(nullptr, 16, "abc"), 0u);
}

TEST(Rejections, NullFormatWritesNothing) {
  char Buffer[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(FormatText(Buffer, 4, nullptr), 0u);
  EXPECT_EQ(Buffer[0], '#');
  EXPECT_EQ(FormatTextWithFlags(nullptr, 0, FORMAT_COUNT_ONLY, nullptr), 0u);
}

TEST(Flags, BitsOutsideTheCallerFlagsAreIgnored) {
  char Plain[64];
  char Noisy[64];
  UINT32 N = FormatText(Plain, sizeof Plain, "%d %a\n", 42, "x");
  UINT32 M = FormatTextWithFlags(Noisy, sizeof Noisy, ~FORMAT_CALLER_FLAGS, "%d %a\n", 42, "x");
  EXPECT_EQ(M, N);
  EXPECT_STREQ(Noisy, Plain);
}

}  // namespace
