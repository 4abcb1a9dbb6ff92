// The judge of faulted runs: what makes a run end uncleanly.
#include "tests/smbios/entry/fault_sweep.h"

#include <gtest/gtest.h>

#include <memory>

#include "sim/board/board_file.h"
#include "sim/dxe/smbios_record_check.h"

namespace {

// A finished run of the default board without the driver, after `act` has done something to the platform.
template <class Act>
sim::BootedBoard FinishedRun(Act act) {
  sim::BootedBoard run;
  run.platform = std::make_unique<sim::DxePlatform>();
  sim::ApplyBoard(sim::DefaultBoard(), *run.platform);
  act(*run.platform);
  run.result.summary = run.platform->FinishRun();
  return run;
}

std::string Message(const ::testing::AssertionResult& result) { return result.message(); }

TEST(FaultSweepJudge, BoardAloneEndsCleanly) {
  EXPECT_TRUE(fault_sweep::EndedCleanly(FinishedRun([](sim::DxePlatform&) {}), "nothing"));
}

TEST(FaultSweepJudge, LeakedPoolIsUnclean) {
  auto result = fault_sweep::EndedCleanly(FinishedRun([](sim::DxePlatform& p) {
                                            void* buffer = nullptr;
                                            ASSERT_EQ(p.Pool().Allocate(EfiBootServicesData, 24, &buffer), EFI_SUCCESS);
                                          }),
                                          "leak", {"leak"});  // the leak violation itself is allowed
  EXPECT_FALSE(result);
  EXPECT_NE(Message(result).find("leak of 24 bytes"), std::string::npos) << Message(result);
}

TEST(FaultSweepJudge, TypeFortyReferringToAMissingRecordIsUnclean) {
  auto add = [](uint16_t referenced) {
    return [referenced](sim::DxePlatform& p) {
      std::vector<uint8_t> f = {40, 11, 0, 0, 1, 6, static_cast<uint8_t>(referenced), 0, 0, 0, 0};
      std::vector<uint8_t> bytes = sim::BuildSmbiosRecord(f, {});
      EFI_SMBIOS_HANDLE handle = SMBIOS_HANDLE_PI_RESERVED;
      ASSERT_EQ(p.Smbios().Add(&handle, reinterpret_cast<EFI_SMBIOS_TABLE_HEADER*>(bytes.data())), EFI_SUCCESS);
    };
  };
  EXPECT_TRUE(fault_sweep::EndedCleanly(FinishedRun(add(0x0001)), "type 40 for the system record"));
  auto result = fault_sweep::EndedCleanly(FinishedRun(add(0x0077)), "dangling type 40");
  EXPECT_FALSE(result);
  EXPECT_NE(Message(result).find("refers to handle 119"), std::string::npos) << Message(result);
}

TEST(FaultSweepJudge, OnlyImpliedViolationsAreAccepted) {
  auto report = [](sim::DxePlatform& p) { p.Violations().Report("stray access at 0xFFFFFFF0"); };
  EXPECT_FALSE(fault_sweep::EndedCleanly(FinishedRun(report), "stray"));
  EXPECT_TRUE(fault_sweep::EndedCleanly(FinishedRun(report), "stray", {"stray access"}));
}

TEST(FaultSweepJudge, HandlesAreMaskedForComparison) {
  sim::BootedBoard run = FinishedRun([](sim::DxePlatform&) {});
  std::vector<std::vector<uint8_t>> masked = fault_sweep::RecordsOfTypeWithoutHandles(run, 1);
  ASSERT_EQ(masked.size(), 1u);
  EXPECT_EQ(masked[0][2], 0);
  EXPECT_EQ(masked[0][3], 0);
  EXPECT_EQ(fault_sweep::RecordsOfType(run, 1)[0][2], 1);  // the default board's handle 0x0001
}

}  // namespace
