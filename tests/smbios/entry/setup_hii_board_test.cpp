// The whole driver on boards: the registered package list, the setup image on the default board and on a
// board with short, missing and oversized variables inside SMM, and allocation failures through a whole run.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "sim/dxe/driver_file_guid.h"
#include "sim/dxe/hii_report.h"
#include "sim/dxe/hii_string_package.h"
#include "sim/dxe/setup_variables.h"
#include "sim/dxe/variable_store.h"
#include "tests/support/driver_test_platform.h"

namespace {

constexpr const char* kVariantsBoard = R"(
name: setup-variants
setup:
  default: present
  variables:
    SocketMpLinkConfig: short
    DraskSetup: absent
    VdxRcConfiguration: long
    FpgaSocketConfig: {size: 15, fill: 0xA5}
smm:
  in_smm: true
)";

using driver_test::BootDriver;

TEST(SetupHiiBoard, DefaultBoardRegistersTheStringsAndFillsTheImageWithEveryVariableAtItsOffset) {
  sim::BootedBoard booted = BootDriver(sim::DefaultBoard());
  ASSERT_TRUE(booted.result.summary.violations.empty()) << booted.result.summary.violations.front();
  const auto& lists = booted.platform->Hii().PackageLists();
  ASSERT_EQ(lists.size(), 1u);
  EXPECT_EQ(lists[0]->handle, DriverHiiHandle());
  EXPECT_EQ(lists[0]->driver_handle, booted.platform->ImageHandle());
  EFI_GUID file = PLATFORM_SMBIOS_DRIVER_FILE_GUID;
  EXPECT_TRUE(GuidEqual(&lists[0]->guid, &file));
  EXPECT_EQ(lists[0]->bytes.size(), 1094u);  // 24 + the 1070-byte string package
  sim::HiiStringPackageInfo info;
  ASSERT_EQ(sim::ParseHiiStringPackage(lists[0]->packages[0].bytes.data(), lists[0]->packages[0].bytes.size(), &info),
            "");
  EXPECT_EQ(info.strings.size(), 27u);

  std::string report = sim::DescribeSetupImage(sim::PlatformVariableStore(*booted.platform), DriverSetupConfiguration(),
                                               SetupConfigurationSize);
  EXPECT_NE(report.find("the image holds exactly these variables"), std::string::npos) << report;
  EXPECT_NE(report.find("SocketMemoryConfig           offset 5502"), std::string::npos) << report;
  EXPECT_EQ(DriverSetupConfiguration()[7708], 10);
}

TEST(SetupHiiBoard, VariantsInsideSmmLandWhereTheRulesSay) {
  sim::BootedBoard booted = BootDriver(sim::ParseBoardText(kVariantsBoard, "variants.yaml"));
  ASSERT_TRUE(booted.result.summary.violations.empty()) << booted.result.summary.violations.front();
  EXPECT_EQ(booted.result.summary.calls.at("SmmAllocatePool"), 10u);
  std::string report = sim::DescribeSetupImage(sim::PlatformVariableStore(*booted.platform), DriverSetupConfiguration(),
                                               SetupConfigurationSize);
  EXPECT_NE(report.find("the image holds exactly these variables"), std::string::npos) << report;
  EXPECT_EQ(DriverSetupConfiguration()[5492], 4);     // after the 60-byte SocketMpLinkConfig
  EXPECT_EQ(DriverSetupConfiguration()[6051], 0);     // DraskSetup absent
  EXPECT_EQ(DriverSetupConfiguration()[6516], 0);     // VdxRcConfiguration too large: zero
  EXPECT_EQ(DriverSetupConfiguration()[7645], 9);     // UgRcConfiguration
  EXPECT_EQ(DriverSetupConfiguration()[7698], 0xA5);  // FpgaSocketConfig
  for (size_t i = 7713; i < sim::kSetupImageSize; ++i) EXPECT_EQ(DriverSetupConfiguration()[i], 0) << i;
}

TEST(SetupHiiBoard, EveryAllocationFailingInTurnEndsWithoutLeakOrViolation) {
  for (const char* text : {static_cast<const char*>(nullptr), kVariantsBoard}) {
    sim::Board board = text ? sim::ParseBoardText(text, "variants.yaml") : sim::DefaultBoard();
    sim::BootedBoard clean = BootDriver(board);
    const uint64_t allocations = clean.result.summary.pool.allocations;
    ASSERT_GE(allocations, 12u);  // the setup image, ten variable buffers, the package list, ...
    for (uint64_t nth = 1; nth <= allocations; ++nth) {
      board.faults.fail_allocation = nth;
      sim::BootedBoard booted = BootDriver(board);
      EXPECT_TRUE(booted.result.summary.leaks.empty()) << board.name << ", allocation " << nth;
      EXPECT_TRUE(booted.result.summary.violations.empty())
          << board.name << ", allocation " << nth << ": " << booted.result.summary.violations.front();
    }
  }
}

}  // namespace
