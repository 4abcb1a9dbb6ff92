// MMCFG base resolution: the silicon context, the platform table, the fallback table and PCD 44.
#include <gtest/gtest.h>

#include "regaccess/mmcfg_base.h"
#include "regaccess/silicon_context.h"
#include "tests/regaccess/regaccess_fixture.h"
#include "uefi/protocols/pcd_ppi.h"

namespace {

RegisterAddress Segment(UINT32 segment, UINT32 context = 0) { return RegisterAddress{0, segment, 0, context}; }

sim::PeiPlatformConfig WithTable(std::vector<sim::McfgEntryConfig> entries, uint64_t pcd44 = 0xC0000000u) {
  sim::PeiPlatformConfig config;
  config.default_mmcfg_base = pcd44;
  config.mcfg_table.entries = std::move(entries);
  return config;
}

// No platform table (length 0): the fallback table, then PCD 44 = 0xC0000000.
sim::PeiPlatformConfig FallbackConfig() {
  auto config = WithTable({});
  config.mcfg_table.length = 0;
  return config;
}

TEST(DefaultMcfgTableImage, HoldsEightEntriesWithSegmentZeroAt2GiB) {
  const UINT8* t = DefaultMcfgTable.Bytes;
  EXPECT_EQ(sizeof(DefaultMcfgTable.Bytes), 144u);
  EXPECT_EQ(t[4], 144);
  EXPECT_EQ(t[8], 0x01);
  EXPECT_EQ(t[9], 0x08);
  EXPECT_EQ(t[10], 0xFF);
  EXPECT_EQ(t[16 + 3], 0x80);
  for (int s = 1; s < 8; ++s) {
    EXPECT_EQ(t[16 + 16 * s + 3], 0) << s;
    EXPECT_EQ(t[16 + 16 * s + 8], s);
    EXPECT_EQ(t[16 + 16 * s + 11], 0xFF);
  }
}

TEST(MmcfgBaseFromTables, AbsentPlatformTableUsesTheFallbackThenPcd44) {
  sim::PeiPlatform platform(FallbackConfig());
  auto r = Segment(0);
  EXPECT_EQ(GetMmcfgBase(&r), 0x80000000u);
  for (UINT32 s = 1; s < 8; ++s) {
    r = Segment(s);
    EXPECT_EQ(GetMmcfgBase(&r), 0xC0000000u) << s;
  }
  EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined();
}

TEST(MmcfgBaseFromTables, APlatformTableWinsOverTheFallback) {
  sim::PeiPlatform platform(WithTable({{0xE0000000u}, {0}}));
  auto r = Segment(0);
  EXPECT_EQ(GetMmcfgBase(&r), 0xE0000000u);
  r = Segment(1);  // entry base 0: PCD 44
  EXPECT_EQ(GetMmcfgBase(&r), 0xC0000000u);
}

TEST(MmcfgBaseFromTables, ASegmentBeyondTheTableInUseEndsAtPcd44) {
  sim::PeiPlatform platform(WithTable({{0xE0000000u}, {0xD0000000u}}));
  auto r = Segment(2);
  EXPECT_EQ(GetMmcfgBase(&r), 0xC0000000u);
  r = Segment(0xFFFF);
  EXPECT_EQ(GetMmcfgBase(&r), 0xC0000000u);
}

TEST(MmcfgBaseFromTables, ASegmentBeyondTheFallbackTableEndsAtPcd44) {
  sim::PeiPlatform platform(FallbackConfig());
  auto r = Segment(8);
  EXPECT_EQ(GetMmcfgBase(&r), 0xC0000000u);
}

TEST(MmcfgBaseFromTables, APcd44ValueAboveFourGibContributesItsLowWord) {
  sim::PeiPlatform platform(WithTable({{0}}, 0x1D0000000ull));
  auto r = Segment(0);
  EXPECT_EQ(GetMmcfgBase(&r), 0xD0000000u);
}

TEST(MmcfgBaseFromTables, AnUnpublishedTablePointerUsesTheFallback) {
  auto config = WithTable({{0xE0000000u}});
  config.mcfg_table.published = false;
  sim::PeiPlatform platform(config);
  auto r = Segment(0);
  EXPECT_EQ(GetMmcfgBase(&r), 0x80000000u);
}

TEST(MmcfgBaseFromTables, EveryPcdReadLocatesThePpiAgain) {
  sim::PeiPlatform platform(FallbackConfig());
  auto r = Segment(0);
  GetMmcfgBase(&r);
  EXPECT_EQ(platform.ppis().LocateCalls(gPcdPpiGuid), 1u);  // token 60 only
  r = Segment(3);
  GetMmcfgBase(&r);
  EXPECT_EQ(platform.ppis().LocateCalls(gPcdPpiGuid), 3u);  // token 60, then token 44
  EXPECT_EQ(platform.pcds().Reads(44), 1u);
}

TEST(MmcfgBaseWithoutPcdPpi, ReadsNothingThroughAMissingPpi) {
  auto config = WithTable({{0xE0000000u}});
  config.install_pcd_ppi = false;
  sim::PeiPlatform platform(config);
  auto r = Segment(0);
  EXPECT_EQ(GetMmcfgBase(&r), 0x80000000u);  // no platform table reachable: the fallback
  r = Segment(1);
  EXPECT_EQ(GetMmcfgBase(&r), 0u);                // and no default base
  EXPECT_EQ(platform.ppis().LocateMisses(), 4u);  // token 60 twice, token 44 twice (fallback, then zero base)
  EXPECT_EQ(platform.pcds().Reads(60), 0u);
}

TEST(MmcfgBaseWithoutPcdPpi, ReadsNothingThroughAPpiWithoutItsServices) {
  sim::PeiPlatform platform(WithTable({{0xE0000000u}}));
  platform.pcds().ppi()->Get64 = nullptr;
  platform.pcds().ppi()->GetPtr = nullptr;
  auto r = Segment(0);
  EXPECT_EQ(GetMmcfgBase(&r), 0x80000000u);  // the platform table is not reachable: the fallback
  r = Segment(1);
  EXPECT_EQ(GetMmcfgBase(&r), 0u);  // and no default base
  EXPECT_EQ(platform.pcds().Reads(60), 0u);
}

class MmcfgBaseFromContext : public ::testing::Test {
 protected:
  MmcfgBaseFromContext() : platform(WithTable({{0xE0000000u}})) {}
  sim::PeiPlatform platform;
  UINT32 context() { return platform.silicon_context().address(); }
};

TEST_F(MmcfgBaseFromContext, UsesTheContextWordsAndNoTable) {
  platform.silicon_context().SetMmcfgWords(0, 0xA0000000u, 0);
  auto r = Segment(0, context());
  EXPECT_EQ(GetMmcfgBase(&r), 0xA0000000u);
  EXPECT_EQ(platform.pcds().Reads(60), 0u);
  EXPECT_EQ(platform.pcds().Reads(44), 0u);
}

TEST_F(MmcfgBaseFromContext, AZeroWordPairFallsBackToPcd44) {
  auto r = Segment(2, context());
  EXPECT_EQ(GetMmcfgBase(&r), 0xC0000000u);
  EXPECT_EQ(platform.pcds().Reads(60), 0u);
}

TEST_F(MmcfgBaseFromContext, TheHighWordOfASegmentIsTheLowWordOfTheOneBelow) {
  platform.silicon_context().SetMmcfgWords(1, 0, 0);
  platform.silicon_context().Write32(SiliconContextLayout::MmcfgLowWord, 0x90000000u);  // segment 0's low word
  auto r = Segment(1, context());
  EXPECT_EQ(GetMmcfgBase(&r), 0u);  // low word 0, high word non-zero: not a zero pair, address 0
}

TEST_F(MmcfgBaseFromContext, ASegmentBeyondTheContextWordsEndsAtPcd44) {
  // The bytes after the eight segments' words belong to the socket topology block.
  platform.silicon_context().Write32(SiliconContextLayout::SocketTopology, 0x11111111u);
  platform.silicon_context().Write32(SiliconContextLayout::SocketTopology - 4, 0x22222222u);
  auto r = Segment(8, context());
  EXPECT_EQ(GetMmcfgBase(&r), 0xC0000000u);
  r = Segment(7, context());
  EXPECT_EQ(GetMmcfgBase(&r), 0x22222222u);
}

}  // namespace
