// The VPD capability's handshake on the virtual clock.
#include <gtest/gtest.h>

#include "sim/pci/vpd_device.h"

namespace {

class VpdDeviceTest : public ::testing::Test {
 protected:
  sim::VirtualClock clock;
  sim::Violations violations;
  sim::VpdBehaviour Behaviour(uint64_t delay, bool never = false) {
    sim::VpdBehaviour b;
    b.image = {0x82, 0x03, 0x00, 'N', 'I', 'C', 0x78};
    b.delay_us = delay;
    b.never_completes = never;
    return b;
  }
};

TEST_F(VpdDeviceTest, FlagAndDataAppearAfterTheDelay) {
  sim::VpdDevice vpd(Behaviour(25), clock);
  vpd.WriteAddress(0x0004, violations, "f");
  EXPECT_EQ(vpd.ReadAddress(), 0x0004) << "flag clear while the read is in flight";
  clock.Advance(24);
  EXPECT_EQ(vpd.ReadAddress() & 0x8000, 0);
  clock.Advance(1);
  EXPECT_EQ(vpd.ReadAddress(), 0x8004);
  EXPECT_EQ(vpd.ReadData(), 0xFF78'4349u) << "bytes 4..7: 'I', 'C', end tag, then erased 0xFF";
  EXPECT_TRUE(violations.Empty());
}

TEST_F(VpdDeviceTest, DataStaysStaleUntilTheNextReadCompletes) {
  sim::VpdDevice vpd(Behaviour(10), clock);
  vpd.WriteAddress(0x0000, violations, "f");
  clock.Advance(10);
  const uint32_t first = vpd.ReadData();
  EXPECT_EQ(first, 0x4E000382u);
  vpd.WriteAddress(0x0005, violations, "f");  // low bits ignored: dword 4
  EXPECT_EQ(vpd.ReadData(), first);
  clock.Advance(10);
  EXPECT_EQ(vpd.ReadAddress(), 0x8004);
  EXPECT_EQ(vpd.ReadsStarted(), 2u);
}

TEST_F(VpdDeviceTest, NeverCompletingDeviceKeepsTheFlagClear) {
  sim::VpdDevice vpd(Behaviour(0, true), clock);
  vpd.WriteAddress(0x0000, violations, "f");
  clock.Advance(1'000'000);
  EXPECT_EQ(vpd.ReadAddress() & 0x8000, 0);
}

TEST_F(VpdDeviceTest, APartThatStopsAnsweringCompletesOnlyItsFirstReads) {
  sim::VpdBehaviour b = Behaviour(0);
  b.answered_reads = 2;
  sim::VpdDevice vpd(b, clock);
  for (uint16_t address : {0x0000, 0x0004}) {
    vpd.WriteAddress(address, violations, "f");
    EXPECT_EQ(vpd.ReadAddress(), 0x8000 | address);
  }
  vpd.WriteAddress(0x0000, violations, "f");
  clock.Advance(1'000'000);
  EXPECT_EQ(vpd.ReadAddress(), 0x0000) << "the third read never completes";
  EXPECT_EQ(vpd.ReadData(), 0xFF78'4349u) << "the data register keeps the last completed dword";
}

TEST_F(VpdDeviceTest, WriteRequestIsRefusedWithAViolation) {
  sim::VpdDevice vpd(Behaviour(0), clock);
  vpd.WriteAddress(0x8010, violations, "0000:18:00.0");
  auto messages = violations.Take();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("VPD write requested at VPD address 0x0010"), std::string::npos) << messages[0];
  EXPECT_EQ(vpd.ReadsStarted(), 0u);
}

}  // namespace
