// Records a board file places in the table before the driver runs: the replaced and probe types are gone
// after the callback, the others stay byte for byte.
#include <gtest/gtest.h>

#include <map>

#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "tests/support/driver_test_platform.h"

namespace {

constexpr const char* kBoard = R"(name: foreign
pcd:
  ecam_base: 0x80000000
  socket_bus_layout:
    valid: 0
smbios:
  - type: 0
    data: "01 02 00 F0 03 3F 80 08 00 00 00 00 00 00 03 09 01 00 FF FF"
    strings: ["Vendor", "1.0", "01/01/2026"]
  - type: 1
    manufacturer: Example Systems
    uuid: 00000000-0000-0000-0000-000000000000
  - type: 2
    data: "01 02 03 04 05 01 06 03 00 0A 00"
    strings: ["a", "b", "c", "d", "e", "f"]
  - type: 26
    description: VCCIN
  - type: 27
    description: System fan 1
  - type: 28
    description: CPU0 temperature
  - type: 29
    description: PSU input current
  - type: 39
    location: Rear bay 1
    device_name: Other PSU
  - type: 9
    data: "01 B5 0B 03 03 09 00 04 05 00 00 FF 00"
    strings: ["Other slot"]
  - type: 41
    data: "01 83 00 00 00 05 00"
    strings: ["Other video"]
)";

TEST(BoardFileRecords, ReplacedAndProbeTypesAreGoneOthersUntouched) {
  sim::Board board = sim::ParseBoardText(kBoard, "foreign.yaml");
  sim::BootedBoard booted = driver_test::BootDriver(board);
  ASSERT_TRUE(booted.result.callback_ran);
  EXPECT_TRUE(sim_test::NoViolations(booted.platform->Violations()));

  std::map<uint8_t, size_t> by_type = booted.result.summary.records_by_type;
  for (uint8_t type : {26, 27, 28, 29, 39}) EXPECT_EQ(by_type.count(type), 0u) << "type " << int(type);
  EXPECT_EQ(by_type[9], DriverSlotTable()->Count);  // the driver's own slots only
  EXPECT_EQ(by_type[41], 2u);                       // the driver's video and LAN records only
  for (const auto& r : booted.platform->Smbios().Records()) {
    if (r.type == 9) {
      EXPECT_NE(r.strings.at(0), "Other slot");
    }
    if (r.type == 41) {
      EXPECT_NE(r.strings.at(0), "Other video");
    }
  }
  for (uint8_t type : {0, 1, 2}) EXPECT_EQ(by_type[type], 1u) << "type " << int(type);
  for (const auto& r : booted.platform->Smbios().Records()) {
    if (r.type == 0) {
      EXPECT_EQ(r.strings, (std::vector<std::string>{"Vendor", "1.0", "01/01/2026"}));
    }
    if (r.type == 2) {
      EXPECT_EQ(r.bytes[4], 1);
    }
  }
}

}  // namespace
