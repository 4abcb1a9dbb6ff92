// The transport's hooks and operations: live writes to the handle's channel registers, the presence test
// that swaps in operations writing nothing, and presence decided again inside every live write.
#include <gtest/gtest.h>

#include <vector>

#include "sim/pei/trace_platform.h"
#include "trace/hub/trace_hub_transport.h"
#include "trace/syst/syst_string_message.h"

namespace {

using Role = sim::SystChannelWrite::Role;

class TransportTest : public ::testing::Test {
 protected:
  void SetUpHandle() {
    TraceHubTransportInit(&header, 0);
    SystInitHandle(&handle, &header, &pair);
  }
  // Every live or silent operation once, in encoder order.
  void CallEveryOperation() {
    header.WriteFirstWord(&handle, 0x01FF0222);
    header.Write8(&handle, 0x41);
    header.Write16(&handle, 0x4342);
    header.Write32(&handle, 0x47464544);
    header.EndMessage(&handle);
  }

  SystTraceHeader header{};
  SystTraceHandle handle{};
  SystChannelPair pair{32, 14};
};

TEST_F(TransportTest, InitHandleRecordsThePairAndItsNumbers) {
  sim::TracePlatform platform;
  SetUpHandle();
  EXPECT_EQ(handle.ChannelPair, &pair);
  EXPECT_EQ(handle.Master, 32u);
  EXPECT_EQ(handle.Channel, 14u);
  // Without a pair the handle keeps its numbers.
  TraceHubInitHandle(&handle, nullptr);
  EXPECT_EQ(handle.ChannelPair, nullptr);
  EXPECT_EQ(handle.Master, 32u);
  EXPECT_EQ(handle.Channel, 14u);
}

TEST_F(TransportTest, APresentHubKeepsTheLiveOperationsAndThePlatformWord) {
  sim::TracePlatform platform;
  TraceHubTransportInit(&header, 0x55);
  EXPECT_EQ(header.Platform, 0x55u);
  EXPECT_EQ(header.InitHandle, TraceHubInitHandle);
  EXPECT_EQ(header.WriteFirstWord, TraceHubWriteFirstWord);
  EXPECT_EQ(header.Write8, TraceHubWrite8);
  EXPECT_EQ(header.Write16, TraceHubWrite16);
  EXPECT_EQ(header.Write32, TraceHubWrite32);
  EXPECT_EQ(header.EndMessage, TraceHubEndMessage);
}

TEST_F(TransportTest, LiveOperationsWriteTheirRegistersWithTheirWidths) {
  sim::TracePlatform platform;
  SetUpHandle();
  CallEveryOperation();
  const auto& writes = platform.hub().Writes();
  ASSERT_EQ(writes.size(), 5u);
  const uint64_t expected_address[] = {0xFE200390, 0xFE200380, 0xFE200380, 0xFE200380, 0xFE2003B0};
  const unsigned expected_width[] = {4, 1, 2, 4, 4};
  const uint64_t expected_value[] = {0x01FF0222, 0x41, 0x4342, 0x47464544, 0};
  for (size_t i = 0; i < writes.size(); ++i) {
    EXPECT_EQ(writes[i].address, expected_address[i]) << i;
    EXPECT_EQ(writes[i].write.width, expected_width[i]) << i;
    EXPECT_EQ(writes[i].write.value, expected_value[i]) << i;
    EXPECT_EQ(writes[i].master, 32u);
    EXPECT_EQ(writes[i].channel, 14u);
  }
  EXPECT_EQ(writes[4].write.role, Role::EndMark);
  EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined();
}

TEST_F(TransportTest, TheHandlesMasterAndChannelPickTheChannel) {
  sim::TracePlatform platform;
  pair = {40, 3};
  SetUpHandle();
  header.Write32(&handle, 1);
  ASSERT_EQ(platform.hub().Writes().size(), 1u);
  EXPECT_EQ(platform.hub().Writes()[0].address, 0xFE200000u + 8 * 8192 + 3 * 64);
}

TEST_F(TransportTest, AHandleOnAMasterBelow32WritesNothingEvenWithLiveOperations) {
  sim::TracePlatform platform;
  pair = {31, 14};
  SetUpHandle();
  CallEveryOperation();
  EXPECT_TRUE(platform.hub().Writes().empty());
}

struct Unusable {
  const char* name;
  void (*apply)(sim::TracePlatformConfig&);
};

class UnusableHubTest : public TransportTest, public ::testing::WithParamInterface<Unusable> {};

TEST_P(UnusableHubTest, ThePresenceTestInstallsOperationsThatWriteNothing) {
  sim::TracePlatformConfig config;
  GetParam().apply(config);
  sim::TracePlatform platform(config);
  TraceHubTransportInit(&header, 7);
  EXPECT_EQ(header.Platform, 7u);
  EXPECT_NE(header.WriteFirstWord, TraceHubWriteFirstWord);
  EXPECT_NE(header.Write32, TraceHubWrite32);
  EXPECT_NE(header.EndMessage, TraceHubEndMessage);
  EXPECT_EQ(header.InitHandle, TraceHubInitHandle);
  SystInitHandle(&handle, &header, &pair);
  uint64_t reads = platform.MmioReads();
  CallEveryOperation();
  EXPECT_TRUE(platform.hub().Writes().empty());
  EXPECT_EQ(platform.MmioReads(), reads) << "silent operations touch no hardware";
  EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined();
}

INSTANTIATE_TEST_SUITE_P(
    Hub, UnusableHubTest,
    ::testing::Values(Unusable{"NoPmc", [](sim::TracePlatformConfig& c) { c.pmc.present = false; }},
                      Unusable{"DisableBit", [](sim::TracePlatformConfig& c) { c.pmc.trace_hub_disabled = true; }},
                      Unusable{"Undecoded", [](sim::TracePlatformConfig& c) { c.hub.decoded = false; }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransportTest, AHubDisabledBetweenTwoLiveWritesDropsTheLaterOnes) {
  sim::TracePlatform platform;
  SetUpHandle();
  header.WriteFirstWord(&handle, 0x01FF0222);
  platform.power_mgmt()->SetTraceHubDisabled(true);
  header.Write32(&handle, 0x11111111);
  header.EndMessage(&handle);
  ASSERT_EQ(platform.hub().Writes().size(), 1u);
  EXPECT_EQ(platform.hub().Writes()[0].write.role, Role::FirstWord);
}

}  // namespace
