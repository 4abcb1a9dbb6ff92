// The simulated bus behind the hardware primitives: dispatch, recording and stray-access reports.
#include <gtest/gtest.h>

#include <map>

#include "hw/mmio.h"
#include "sim/common/mmio_bus.h"
#include "sim/common/platform_context.h"
#include "tests/support/byte_ram.h"

namespace {

using sim_test::ByteRam;

class MmioBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bus.Map(0xFE200000u, 0x1000, &ram, "test window");
    context.Attach();
  }
  void TearDown() override { context.Detach(); }
  sim::PlatformContext context;
  sim::Violations& violations = context.violations();
  sim::MmioBus& bus = context.bus();
  ByteRam ram;
};

TEST_F(MmioBusTest, PrimitivesReachTheMappedRegionLittleEndian) {
  MmioWrite32(0xFE200010u, 0x11223344u);
  EXPECT_EQ(MmioRead8(0xFE200010u), 0x44);
  EXPECT_EQ(MmioRead16(0xFE200012u), 0x1122);
  MmioWrite64(0xFE200020u, 0x0102030405060708ull);
  EXPECT_EQ(MmioRead64(0xFE200020u), 0x0102030405060708ull);
  EXPECT_TRUE(violations.Empty()) << violations.Joined();
}

TEST_F(MmioBusTest, UnmappedReadGivesAllOnesAndIsReported) {
  EXPECT_EQ(MmioRead32(0x1000u), 0xFFFFFFFFu);
  ASSERT_EQ(violations.Messages().size(), 1u);
  EXPECT_NE(violations.Messages()[0].find("outside any device"), std::string::npos);
}

TEST_F(MmioBusTest, AccessCrossingTheRegionEndIsReportedAndNotPerformed) {
  MmioWrite32(0xFE200FFEu, 0xAABBCCDDu);
  EXPECT_TRUE(ram.bytes.empty());
  ASSERT_EQ(violations.Messages().size(), 1u);
  EXPECT_NE(violations.Messages()[0].find("crosses the end"), std::string::npos);
}

TEST_F(MmioBusTest, RecordingKeepsOrderWidthAndDirection) {
  bus.SetRecording(true);
  MmioWrite16(0xFE200380u, 0xBEEF);
  (void)MmioRead8(0xFE200380u);
  const std::vector<sim::MmioAccess> expected = {{0xFE200380u, 2, 0xBEEF, true}, {0xFE200380u, 1, 0xEF, false}};
  EXPECT_EQ(bus.Recorded(), expected);
}

}  // namespace
