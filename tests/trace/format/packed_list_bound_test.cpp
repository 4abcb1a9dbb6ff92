// A packed list bounded by its size: arguments past its end read as 0 and no byte past it is touched
// (the list ends at an inaccessible page, so a read past it faults).
#include <cstring>
#include <string>

#include "tests/trace/format/format_test_support.h"

namespace {

using format_test::GuardedMemory;

// FormatTextPacked over Size bytes placed at the very end of accessible memory.
std::string FmtBounded(GuardedMemory& Memory, const std::vector<uint8_t>& List, const char* Format) {
  uint8_t* At = Memory.End() - List.size();
  if (!List.empty()) memcpy(At, List.data(), List.size());
  char Buffer[256];
  UINT32 N = FormatTextPacked(Buffer, sizeof Buffer, 0, Format, At, List.size());
  return std::string(Buffer, N);
}

TEST(BoundedPackedList, ArgumentsInsideTheListAreReadAsUsual) {
  GuardedMemory Memory(4096);
  ASSERT_TRUE(Memory.Ok());
  EXPECT_EQ(FmtBounded(Memory, {0x2A, 0, 0, 0, 0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01}, "%d %lx"),
            "42 123456789ABCDEF");
}

TEST(BoundedPackedList, ArgumentsPastTheEndReadAsZeroWithoutTouchingTheNextByte) {
  GuardedMemory Memory(4096);
  ASSERT_TRUE(Memory.Ok());
  EXPECT_EQ(FmtBounded(Memory, {7, 0, 0, 0}, "%d %d %x %u %c|%*d|%a %g"), "7 0 0 0  |0|<null string> <null guid>");
}

TEST(BoundedPackedList, ASixtyFourBitItemThatOnlyHalfFitsReadsZeroAndUsesTheListUp) {
  GuardedMemory Memory(4096);
  ASSERT_TRUE(Memory.Ok());
  EXPECT_EQ(FmtBounded(Memory, {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, "%d %lx %d"), "1 0 0");
}

TEST(BoundedPackedList, AnEmptyListReadsOnlyZeros) {
  GuardedMemory Memory(4096);
  ASSERT_TRUE(Memory.Ok());
  EXPECT_EQ(FmtBounded(Memory, {}, "%d%x"), "00");
}

TEST(BoundedPackedList, ANullListBehavesLikeTheEngineWithoutArguments) {
  char Buffer[32];
  UINT32 N = FormatTextPacked(Buffer, sizeof Buffer, 0, "[%d]", nullptr, 96);
  EXPECT_EQ(std::string(Buffer, N), "[0]");
}

}  // namespace
