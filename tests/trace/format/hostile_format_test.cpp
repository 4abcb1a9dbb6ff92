// Hostile formats: huge widths and precisions, lone '%', NUL inside a conversion, null pointers.
#include <cstdint>

#include "tests/trace/format/format_test_support.h"

namespace {

using format_test::CountOf;
using format_test::Fmt;

// Writes into a 64-byte region of a larger buffer and checks nothing lands past it.
struct Bounded {
  char Buffer[80];
  Bounded() { memset(Buffer, '#', sizeof Buffer); }
  bool Untouched() const {
    for (size_t I = 64; I < sizeof Buffer; ++I) {
      if (Buffer[I] != '#') return false;
    }
    return true;
  }
};

TEST(HugeWidth, WritingStopsAtTheBound) {
  Bounded Out;
  EXPECT_EQ(FormatText(Out.Buffer, 64, "%2000000000d", 5), 63u);
  EXPECT_EQ(Out.Buffer[62], ' ');
  EXPECT_EQ(Out.Buffer[63], '\0');
  EXPECT_TRUE(Out.Untouched());
  EXPECT_EQ(FormatText(Out.Buffer, 64, "%*d", 0xFFFFFFFFu, 5), 63u);
  EXPECT_TRUE(Out.Untouched());
  EXPECT_EQ(FormatText(Out.Buffer, 64, "%-*d", 0xFFFFFFFFu, 5), 63u);
  EXPECT_EQ(Out.Buffer[0], '5');
  EXPECT_TRUE(Out.Untouched());
}

TEST(HugePrecision, WritingStopsAtTheBound) {
  Bounded Out;
  EXPECT_EQ(FormatText(Out.Buffer, 64, "%.*d", 0xFFFFFFFFu, 5), 63u);
  EXPECT_EQ(Out.Buffer[0], '0');
  EXPECT_TRUE(Out.Untouched());
  EXPECT_EQ(FormatText(Out.Buffer, 64, "%.4000000000a", "abc"), 63u);
  EXPECT_EQ(Out.Buffer[0], ' ');
  EXPECT_TRUE(Out.Untouched());
}

TEST(HugeWidth, CountOnlyComputesThePaddingAndSaturates) {
  // These would take seconds each if the padding were produced one character at a time.
  EXPECT_EQ(CountOf("%2000000000d", 5), 2000000000u);
  EXPECT_EQ(CountOf("%*d", 0xFFFFFFFFu, 5), 0xFFFFFFFFu);
  EXPECT_EQ(CountOf("%-2000000000d%2000000000d", 5, 6), 4000000000u);
  EXPECT_EQ(CountOf("%.*d", 0xFFFFFFFFu, -5), 0xFFFFFFFFu) << "the precision raised by the sign saturates";
  EXPECT_EQ(CountOf("%2000000000d%2000000000d%2000000000d", 1, 2, 3), 0xFFFFFFFFu);
}

TEST(HugeWidth, OverlongDigitRunsSaturate) {
  EXPECT_EQ(CountOf("%99999999999999999999d", 1), 0xFFFFFFFFu);
  EXPECT_EQ(CountOf("%4294967296x", 1u), 0xFFFFFFFFu);
  EXPECT_EQ(CountOf("%4294967294x", 1u), 4294967294u);
}

TEST(LonePercent, AtTheEndEmitsNothing) {
  EXPECT_EQ(Fmt("abc%"), "abc");
  EXPECT_EQ(Fmt("%"), "");
  EXPECT_EQ(CountOf("abc%"), 3u);
}

TEST(NulInsideAConversion, EndsTheTextWithoutConsumingArguments) {
  EXPECT_EQ(Fmt("ab%-5"), "ab");
  EXPECT_EQ(Fmt("ab%0"), "ab");
  EXPECT_EQ(Fmt("ab%l"), "ab");
  EXPECT_EQ(Fmt("ab%.*"), "ab") << "the '*' before the NUL reads one argument and nothing more";
  const char Embedded[] = "ab%-\0cd";
  EXPECT_EQ(Fmt(Embedded), "ab");
}

TEST(NullPointers, EveryPointerConversionPrintsAPlaceholder) {
  const void* Null = nullptr;
  EXPECT_EQ(Fmt("%a|%s|%S|%g|%t|%p", Null, Null, Null, Null, Null, Null),
            "<null string>|<null string>|<null string>|<null guid>|<null time>|0");
  EXPECT_EQ(Fmt("%.4a|%-14g|", Null, Null), "<nul|<null guid>   |");
}

}  // namespace
