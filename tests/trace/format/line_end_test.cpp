// Line ends of the format become CR LF; a lone CR stays.
#include "tests/trace/format/format_test_support.h"

namespace {

using format_test::Fmt;

TEST(LineEnds, LfAndLfCrAndCrLfBecomeCrLf) {
  EXPECT_EQ(Fmt("A\nB"), "A\r\nB");
  EXPECT_EQ(Fmt("A\n\rB"), "A\r\nB");
  EXPECT_EQ(Fmt("A\r\nB"), "A\r\nB");
  EXPECT_EQ(Fmt("\n\n"), "\r\n\r\n");
  EXPECT_EQ(Fmt("\n\r\n\r"), "\r\n\r\n");
  EXPECT_EQ(Fmt("x\n"), "x\r\n");
}

TEST(LineEnds, LoneCrIsKept) {
  EXPECT_EQ(Fmt("A\rB"), "A\rB");
  EXPECT_EQ(Fmt("A\r"), "A\r");
  EXPECT_EQ(Fmt("\r\r\n"), "\r\r\n");
}

TEST(LineEnds, PercentFollowedByALineEnd) {
  EXPECT_EQ(Fmt("A%\nB"), "A\r\nB");
  EXPECT_EQ(Fmt("A%\n\rB"), "A\r\nB");
  EXPECT_EQ(Fmt("A%\rB"), "A\rB");
  EXPECT_EQ(Fmt("A%\r\nB"), "A\r\nB");
}

// After modifiers a line end is no longer "directly after the '%'": it is an unknown conversion
// character, emitted as itself with the conversion's width, and the character after it is not taken.
TEST(LineEnds, ALineEndAfterModifiersIsAnUnknownConversion) {
  EXPECT_EQ(Fmt("A%5\nB"), "A    \nB");
  EXPECT_EQ(Fmt("A%-3\nB"), "A\n  B");
  EXPECT_EQ(Fmt("A%l\n\rB"), "A\n\rB") << "the LF alone; the CR that follows is a lone CR of the format";
  EXPECT_EQ(Fmt("A%+\rB"), "A\rB");
  EXPECT_EQ(Fmt("A%1\r\nB"), "A\r\r\nB") << "the CR itself, then the format's LF as CR LF";
}

TEST(LineEnds, ListenerLinesEndInCrLf) {
  EXPECT_EQ(Fmt("\n\rPEI_ASSERT!: %a (%d): %a\n\r", "file.c", 12, "x"), "\r\nPEI_ASSERT!: file.c (12): x\r\n");
  EXPECT_EQ(Fmt("ERROR: C%08x:V%08x I%x\n\r", 0x80000002u, 0x0301000Au, 0u), "ERROR: C80000002:V0301000A I0\r\n");
}

}  // namespace
