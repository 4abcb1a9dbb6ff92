// What one status code costs on the hardware and in PPI look-ups, through the whole path from the
// listener: one presence check per channel write plus the presence test, each check four MMIO reads after
// one PCD PPI look-up, and no write but the channel's.
#include <gtest/gtest.h>

#include <string>

#include "tests/trace/listener/listener_fixture.h"
#include "uefi/protocols/pcd_ppi.h"

namespace {

using namespace listenertest;

// A platform that publishes the segment 0 entry of its MCFG table: one PCD read per address resolution.
sim::TracePlatformConfig WithMcfgEntry() {
  sim::TracePlatformConfig config;
  config.pei.mcfg_table.entries = {{0x80000000u, 0, 0, 255}};
  return config;
}

class AccessCountTest : public ListenerTest {
 protected:
  AccessCountTest() : ListenerTest(WithMcfgEntry()) {}

  struct Counts {
    uint64_t writes, reads, bus_writes, lookups, pcd_lookups;
  };

  Counts ReportAndCount(uint32_t type, uint32_t value, const void* data = nullptr) {
    platform.hub().ClearWrites();
    sim::PeiPlatform& pei = platform.pei();
    uint64_t reads = pei.bus().ReadCount(), writes = pei.bus().WriteCount();
    uint64_t lookups = pei.ppis().LocateCalls(), pcd = pei.ppis().LocateCalls(gPcdPpiGuid);
    Report(type, value, 0, &kCallerGuid, data);
    return {platform.hub().Writes().size(), pei.bus().ReadCount() - reads, pei.bus().WriteCount() - writes,
            pei.ppis().LocateCalls() - lookups, pei.ppis().LocateCalls(gPcdPpiGuid) - pcd};
  }
};

TEST_F(AccessCountTest, AnErrorCodeCostsOneCheckPerWritePlusThePresenceTest) {
  Counts c = ReportAndCount(kError, 0x0301000A);
  // header, four GUID words, length, the text's words, end mark
  ASSERT_GT(c.writes, 7u);
  const uint64_t checks = c.writes + 1;
  EXPECT_EQ(c.reads, 4 * checks);
  EXPECT_EQ(c.lookups, checks);
  EXPECT_EQ(c.pcd_lookups, checks);
  EXPECT_EQ(c.bus_writes, c.writes);
}

TEST_F(AccessCountTest, TheLongestLineCostsExactlyItsWritesPlusOneChecks) {
  const void* record = platform.records().Debug(0x40, "%a\n", {sim::DebugArgument::String(std::string(2045, 'x'))});
  Counts c = ReportAndCount(kDebug, 0, record);
  // 2047 characters: 511 words, one 16-bit and one 8-bit write; with header, GUID, length and end mark.
  ASSERT_EQ(c.writes, 1u + 4 + 1 + 511 + 1 + 1 + 1);
  EXPECT_EQ(c.reads, 4 * (c.writes + 1));
  EXPECT_EQ(c.lookups, c.writes + 1);
  EXPECT_EQ(c.bus_writes, c.writes);
}

TEST_F(AccessCountTest, AProgressCodeCostsThirteenChecks) {
  Counts c = ReportAndCount(kProgress, 0x03020000);
  EXPECT_EQ(c.writes, 12u);  // header, GUID, six inline words, end mark
  EXPECT_EQ(c.reads, 52u);
  EXPECT_EQ(c.lookups, 13u);
}

}  // namespace
