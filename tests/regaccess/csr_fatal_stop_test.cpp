// FatalStop around the debugger-stop primitive, and the simulator's rendering of a logged stop.
#include "regaccess/csr_fatal_stop.h"
#include "tests/regaccess/regaccess_fixture.h"

namespace csr_test {
namespace {

TEST(FatalStopTest, HandsMessageAndArgumentsToTheDebuggerAndReturnsOnceCleared) {
  sim::ClearDebugStops();
  const uint8_t context = 0;
  FatalStop(&context, "\nInvalid Device %d accessed for Box Type %d and Box Instance %d. \n", 40u, uint8_t{8},
            uint8_t{72});
  FatalStop(&context, "\nInvalid Cpu type.\n");
  EXPECT_EQ(sim::TakeDebugStops(),
            (std::vector{Stop("\nInvalid Device %d accessed for Box Type %d and Box Instance %d. \n", {40, 8, 72}),
                         Stop("\nInvalid Cpu type.\n")}));
}

TEST(FatalStopTest, ExplicitArgumentListIsPassedAsGiven) {
  sim::ClearDebugStops();
  const uint32_t arguments[5] = {1, 2, 3, 4, 5};
  FatalStopWithList(nullptr, "%d%d%d%d%d", arguments, 5);
  ASSERT_EQ(sim::DebugStops().size(), 1u);
  EXPECT_EQ(sim::DebugStops()[0].arguments, (std::vector<uint32_t>{1, 2, 3, 4, 5}));
  sim::ClearDebugStops();
}

TEST(FatalStopTest, FormatSubstitutesDecimalArgumentsInOrder) {
  EXPECT_EQ(sim::FormatDebugStop(Stop("\nInvalid BoxType %d, Functional block %d. \n", {18, 6})),
            "\nInvalid BoxType 18, Functional block 6. \n");
  EXPECT_EQ(sim::FormatDebugStop(Stop("\nInvalid Box instance.\n")), "\nInvalid Box instance.\n");
  EXPECT_EQ(sim::FormatDebugStop(Stop("%d%% of %x, %d", {50, 255})), "50% of ff, %d");
}

}  // namespace
}  // namespace csr_test
