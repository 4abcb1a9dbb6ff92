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

TEST(LineEnds, ListenerLinesEndInCrLf) {
  EXPECT_EQ(Fmt("\n\rPEI_ASSERT!: %a (%d): %a\n\r", "file.c", 12, "x"), "\r\nPEI_ASSERT!: file.c (12): x\r\n");
  EXPECT_EQ(Fmt("ERROR: C%08x:V%08x I%x\n\r", 0x80000002u, 0x0301000Au, 0u), "ERROR: C80000002:V0301000A I0\r\n");
}

}  // namespace
