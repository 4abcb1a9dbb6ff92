// The whole driver on boards: the default board's two supplies, a silent supply, and a second boot that finds
// the images cached by the first in the NVRAM file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <unistd.h>

#include "sim/board/board_file.h"
#include "tests/support/driver_test_platform.h"

namespace {

constexpr const char* kDamagedBoard = R"(
name: damaged
bmc:
  supplies:
    - supply: 1
      fru: {manufacturer: Other Maker, product: XX-1, part: XX, version: B7, serial: DAMAGED01, capacity: 400,
            spoil_checksum: both}
    - supply: 2
      silent: true
)";

std::vector<std::vector<std::string>> PowerSupplyStrings(const sim::BootedBoard& booted) {
  std::vector<std::vector<std::string>> out;
  for (const auto& r : booted.platform->Smbios().Records()) {
    if (r.type == 39) out.push_back(r.strings);
  }
  return out;
}

using driver_test::BootDriver;

TEST(PowerSupplyBoard, DefaultBoardPublishesBothSuppliesFromTheirFruData) {
  sim::BootedBoard booted = BootDriver(sim::DefaultBoard());
  EXPECT_TRUE(booted.result.summary.violations.empty()) << booted.result.summary.violations.front();
  auto supplies = PowerSupplyStrings(booted);
  ASSERT_EQ(supplies.size(), 2u);
  EXPECT_EQ(supplies[0],
            (std::vector<std::string>{"PSU1", "EP-800AC", "Example Power", "EPS1A0001", "N/A", "EP800-01", "A2"}));
  EXPECT_EQ(supplies[1][3], "EPS1A0002");
  EXPECT_EQ(booted.result.summary.records_by_type.at(39), 2u);
}

TEST(PowerSupplyBoard, SilentSupplyGetsThePlaceholderAndADamagedOneItsReadBytesWithoutACache) {
  sim::BootedBoard booted = BootDriver(sim::ParseBoardText(kDamagedBoard, "damaged.yaml"));
  EXPECT_TRUE(booted.result.summary.violations.empty());
  auto supplies = PowerSupplyStrings(booted);
  ASSERT_EQ(supplies.size(), 2u);
  EXPECT_EQ(supplies[0][3], "DAMAGED01");
  std::vector<std::string> placeholder(7, "To be filled by O.E.M.");
  placeholder[0] = "PSU2";
  EXPECT_EQ(supplies[1], placeholder);
}

TEST(PowerSupplyBoard, SecondBootWithTheNvramFileShowsTheCachedStringsForDamagedData) {
  const std::string nvram =
      (std::filesystem::temp_directory_path() / ("psu_nvram_" + std::to_string(::getpid()))).string();
  std::filesystem::remove(nvram);
  BootDriver(sim::DefaultBoard(), nvram);
  ASSERT_TRUE(std::filesystem::exists(nvram));

  sim::BootedBoard second = BootDriver(sim::ParseBoardText(kDamagedBoard, "damaged.yaml"), nvram);
  std::filesystem::remove(nvram);
  auto supplies = PowerSupplyStrings(second);
  ASSERT_EQ(supplies.size(), 2u);
  EXPECT_EQ(supplies[0][3], "EPS1A0001");  // the image the first boot cached
  EXPECT_EQ(supplies[0][2], "Example Power");
  EXPECT_EQ(supplies[1][1], "To be filled by O.E.M.");  // a silent BMC never leads to the cache
}

}  // namespace
