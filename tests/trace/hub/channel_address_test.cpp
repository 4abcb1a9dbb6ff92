// Where a channel lies and when the trace hub counts as unusable: PMC presence, its power-management
// base, the disable bit, the probe word and the master number.
#include <gtest/gtest.h>

#include "regaccess/register_access.h"
#include "sim/pei/trace_platform.h"
#include "trace/hub/channel_address.h"
#include "trace/hub/power_mgmt_base.h"
#include "uefi/status.h"

namespace {

TEST(PmcConfigRecord, ResolvesToDevice31Function2OfTheDefaultWindow) {
  sim::TracePlatform platform;
  RegisterAddress record = PmcConfigRecord;
  EXPECT_EQ(RegisterGetAddress(&record), 0x800FA000u);
}

TEST(ReadPowerMgmtBase, ANullOutPointerIsAnInvalidParameterWithoutAnyAccess) {
  sim::TracePlatform platform;
  EXPECT_EQ(ReadPowerMgmtBase(nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(platform.MmioReads(), 0u);
}

TEST(ReadPowerMgmtBase, KeepsTheUpperSixteenBitsOfDword48) {
  sim::TracePlatformConfig config;
  config.pmc.config_dword_48 = 0xFE01ABCD;
  sim::TracePlatform platform(config);
  UINT32 base = 0;
  EXPECT_EQ(ReadPowerMgmtBase(&base), EFI_SUCCESS);
  EXPECT_EQ(base, 0xFE010000u);
}

TEST(ReadPowerMgmtBase, AnAbsentPmcIsUnsupportedAndLeavesTheBaseAlone) {
  sim::TracePlatformConfig config;
  config.pmc.present = false;
  sim::TracePlatform platform(config);
  UINT32 base = 0x12345678;
  EXPECT_EQ(ReadPowerMgmtBase(&base), EFI_UNSUPPORTED);
  EXPECT_EQ(base, 0x12345678u);
  EXPECT_EQ(platform.MmioReads(), 1u) << "only the vendor ID is read";
}

TEST(ResolveChannelAddress, MastersAndChannelsOfAUsableHub) {
  sim::TracePlatform platform;
  EXPECT_EQ(ResolveChannelAddress(32, 0), 0xFE200000u);
  EXPECT_EQ(ResolveChannelAddress(32, 14), 0xFE200380u);
  EXPECT_EQ(ResolveChannelAddress(255, 255), 0xFE3C1FC0u);
  EXPECT_EQ(ResolveChannelAddress(32, 128), ResolveChannelAddress(33, 0));
  EXPECT_EQ(ResolveChannelAddress(33, 0), 0xFE202000u);
  EXPECT_EQ(ResolveChannelAddress(31, 14), 0u);
  EXPECT_EQ(ResolveChannelAddress(0, 0), 0u);
  EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined();
}

TEST(ResolveChannelAddress, EveryCallReadsThePmcTheDisableBitAndTheProbeAfresh) {
  sim::TracePlatform platform;
  ResolveChannelAddress(32, 14);
  ResolveChannelAddress(32, 14);
  EXPECT_EQ(platform.MmioReads(), 8u);  // vendor ID, dword 0x48, disable byte, probe word; twice
  EXPECT_EQ(platform.power_mgmt()->Reads(), 2u);
  EXPECT_EQ(platform.hub().ProbeReads(), 2u);
}

TEST(ResolveChannelAddress, NoPmcGivesZeroAndThePowerMgmtAreaIsNeverRead) {
  sim::TracePlatformConfig config;
  config.pmc.present = false;
  sim::TracePlatform platform(config);
  EXPECT_EQ(ResolveChannelAddress(32, 14), 0u);
  EXPECT_EQ(platform.hub().ProbeReads(), 0u);
  EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined();
}

TEST(ResolveChannelAddress, AnUnprogrammedPowerMgmtBaseGivesZeroWithoutReadingLowMemory) {
  sim::TracePlatformConfig config;
  config.pmc.config_dword_48 = 0x0000FFFF;
  sim::TracePlatform platform(config);
  EXPECT_EQ(ResolveChannelAddress(32, 14), 0u);
  EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined();
}

TEST(ResolveChannelAddress, AnAllOnesDword48GivesZeroWithoutReadingTheFlashRegion) {
  sim::TracePlatformConfig config;
  config.pmc.config_dword_48 = 0xFFFFFFFF;
  sim::TracePlatform platform(config);
  EXPECT_EQ(ResolveChannelAddress(32, 14), 0u);
  EXPECT_EQ(platform.MmioReads(), 2u);
  EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined();
}

TEST(ResolveChannelAddress, TheDisableBitTurnsTheHubOffAndClearingItBack) {
  sim::TracePlatformConfig config;
  config.pmc.trace_hub_disabled = true;
  sim::TracePlatform platform(config);
  EXPECT_EQ(ResolveChannelAddress(32, 14), 0u);
  EXPECT_EQ(platform.hub().ProbeReads(), 0u) << "the probe comes after the disable bit";
  platform.power_mgmt()->SetTraceHubDisabled(false);
  EXPECT_EQ(ResolveChannelAddress(32, 14), 0xFE200380u);
}

TEST(ResolveChannelAddress, OnlyBitZeroOfTheDisableByteCounts) {
  sim::TracePlatform platform;
  platform.power_mgmt()->Write(0x5D0, 1, 0xFE);
  EXPECT_EQ(ResolveChannelAddress(32, 14), 0xFE200380u);
  platform.power_mgmt()->Write(0x5D0, 1, 0x01);
  EXPECT_EQ(ResolveChannelAddress(32, 14), 0u);
}

TEST(ResolveChannelAddress, AnUndecodedWindowGivesZero) {
  sim::TracePlatformConfig config;
  config.hub.decoded = false;
  sim::TracePlatform platform(config);
  EXPECT_EQ(ResolveChannelAddress(32, 14), 0u);
  EXPECT_EQ(platform.hub().ProbeReads(), 1u);
}

TEST(ResolveChannelAddress, AProbeWordOtherThanAllOnesCountsAsDecoded) {
  sim::TracePlatformConfig config;
  config.hub.probe_value = 0xFFFFFFFE;
  sim::TracePlatform platform(config);
  EXPECT_EQ(ResolveChannelAddress(32, 14), 0xFE200380u);
}

TEST(ResolveChannelAddress, APmcThatVanishesStopsTheNextResolution) {
  sim::TracePlatform platform;
  EXPECT_EQ(ResolveChannelAddress(32, 14), 0xFE200380u);
  platform.VanishPmc();
  EXPECT_EQ(ResolveChannelAddress(32, 14), 0u);
  EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined();
}

}  // namespace
