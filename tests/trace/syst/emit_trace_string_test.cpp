// Whole messages through the encoder and the trace-hub transport: where each write lands, how many
// presence checks a message costs, and a PMC that vanishes in the middle of a message.
#include <gtest/gtest.h>

#include <string>

#include "sim/pei/trace_platform.h"
#include "trace/syst/emit_trace_string.h"

namespace {

using Role = sim::SystChannelWrite::Role;

TEST(EmitOnHub, AnErrorLineGoesToMaster32Channel14) {
  sim::TracePlatform platform;
  const std::string text = "ERROR: C80000002:V0301000A I0\r\n";
  EmitTraceString(2, text.c_str(), static_cast<UINT16>(text.size()));
  const auto& writes = platform.hub().Writes();
  ASSERT_GE(writes.size(), 3u);
  EXPECT_EQ(writes.front().address, 0xFE200390u);
  EXPECT_EQ(writes.front().write.value, 0x01FF0222u);
  EXPECT_EQ(writes.back().address, 0xFE2003B0u);
  EXPECT_EQ(writes.back().write.value, 0u);
  for (size_t i = 1; i + 1 < writes.size(); ++i) EXPECT_EQ(writes[i].address, 0xFE200380u) << i;
  auto messages = sim::DecodeSystMessages(platform.hub().ChannelWrites(32, 14));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].errors.empty());
  EXPECT_EQ(messages[0].Text(), text);
  EXPECT_EQ(messages[0].severity, 2u);
  EXPECT_EQ(messages[0].GuidText(), "23A3E7BA-75D1-4CB9-9C8F-56FA4E48D99E");
}

TEST(EmitOnHub, EachWriteAndThePresenceTestCostOneCheckEach) {
  sim::TracePlatform platform;
  const std::string text = "abcdefg";  // 32-bit, 16-bit and 8-bit payload writes
  EmitTraceString(4, text.c_str(), static_cast<UINT16>(text.size()));
  // header, four GUID words, length, 32 + 16 + 8 bit text, end mark
  ASSERT_EQ(platform.hub().Writes().size(), 10u);
  EXPECT_EQ(platform.hub().ProbeReads(), 11u);
  EXPECT_EQ(platform.power_mgmt()->Reads(), 11u);
  EXPECT_EQ(platform.MmioReads(), 44u);
}

TEST(EmitOnHub, AnUnusableHubCostsOnlyThePresenceTest) {
  sim::TracePlatformConfig config;
  config.pmc.trace_hub_disabled = true;
  sim::TracePlatform platform(config);
  EmitTraceString(4, "text", 4);
  EXPECT_TRUE(platform.hub().Writes().empty());
  EXPECT_EQ(platform.power_mgmt()->Reads(), 1u);
}

TEST(EmitOnHub, APmcVanishingMidMessageLeavesTheRestOfTheMessageUnwritten) {
  sim::TracePlatformConfig config;
  config.pmc_vanishes_after_writes = 3;
  sim::TracePlatform platform(config);
  EmitTraceString(2, "a longer line of text", 21);
  const auto& writes = platform.hub().Writes();
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0].write.role, Role::FirstWord);
  EXPECT_EQ(writes[2].write.role, Role::Data);
  EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined();
  // The next message finds no PMC at all.
  EmitTraceString(2, "next", 4);
  EXPECT_EQ(platform.hub().Writes().size(), 3u);
}

TEST(EmitOnHub, AProgressCodesEmptyInlineStringIsSixZeroWords) {
  sim::TracePlatform platform;
  EmitTraceString(4, "", 0);
  auto messages = sim::DecodeSystMessages(platform.hub().ChannelWrites(32, 14));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].header, 0x01FF0042u);
  EXPECT_EQ(messages[0].Text(), "");
  EXPECT_EQ(platform.hub().Writes().size(), 1u + 4 + 6 + 1);
}

}  // namespace
