// Memory BARs of simulated functions: the BAR registers, the register window on the platform's bus with the
// board's bytes, stray reads next to it, and the board file's errors for BARs that cannot exist.
#include <gtest/gtest.h>

#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "tests/support/platform_checks.h"

namespace {

std::string BoardWith(const std::string& bar) {
  return "pcd: {ecam_base: 0x80000000}\n"
         "pci:\n"
         "  functions:\n"
         "    - at: 02:00.0\n"
         "      vendor_id: 0x7A3B\n"
         "      class_code: 0x020000\n"
         "      memory_bar: " +
         bar + "\n";
}

class MemoryBarTest : public sim_test::PlatformTest {};

TEST_F(MemoryBarTest, BarRegistersAndWindowHoldTheBoardsBytes) {
  sim::ApplyBoard(
      sim::ParseBoardText(
          BoardWith("{address: 0x2A0000000, size: 0x1000, contents: [{offset: 0x40, bytes: \"02 11 22 33 44 55\"}]}"),
          "bar.yaml"),
      platform);
  const uint64_t config = 0x80000000ull + (2u << 20);
  EXPECT_EQ(platform.Bus().Read(config + 0x10, 4), 0xA0000004u);  // 64-bit memory BAR, low half
  EXPECT_EQ(platform.Bus().Read(config + 0x14, 4), 0x2u);
  EXPECT_EQ(platform.Bus().Read(0x2A0000040ull, 4), 0x33221102u);
  EXPECT_EQ(platform.Bus().Read(0x2A0000044ull, 2), 0x5544u);
  EXPECT_EQ(platform.Bus().Read(0x2A0000000ull, 4), 0u);  // bytes not given read 0
  EXPECT_TRUE(sim_test::NoViolations(platform.Violations()));
  platform.Bus().Read(0x2A0001000ull, 4);  // the first byte past the window
  ExpectViolation("0x2A0001000");
}

TEST_F(MemoryBarTest, BarInsideTheConfigurationWindowIsReportedAndNotMapped) {
  sim::ApplyBoard(sim::ParseBoardText(BoardWith("{address: 0x80100000, size: 0x1000}"), "bar.yaml"), platform);
  ExpectViolation("overlaps the PCI configuration window");
}

void ExpectError(const std::string& bar, const std::string& field, const std::string& problem) {
  try {
    sim::ParseBoardText(BoardWith(bar), "bar.yaml");
    ADD_FAILURE() << "accepted " << bar;
  } catch (const sim::BoardFileError& e) {
    EXPECT_EQ(e.Line(), 7) << e.what();  // the memory_bar line
    EXPECT_EQ(e.Field(), field) << e.what();
    EXPECT_NE(std::string(e.what()).find(problem), std::string::npos) << e.what();
  }
}

TEST(MemoryBarBoard, BarsThatCannotExistNameTheirField) {
  ExpectError("{address: 0xA0000000, size: 0x3000}", "pci.functions[0].memory_bar.size", "not a power of two");
  ExpectError("{address: 0xA0000000, size: 8}", "pci.functions[0].memory_bar.size", "not a power of two");
  ExpectError("{address: 0xA0000800, size: 0x1000}", "pci.functions[0].memory_bar.address", "not aligned");
  ExpectError("{address: 0, size: 0x1000}", "pci.functions[0].memory_bar.address", "is zero");
  ExpectError("{address: 0xA0000000, size: 0x1000, contents: [{offset: 0xFFE, bytes: \"01 02 03\"}]}",
              "pci.functions[0].memory_bar.contents[0]", "run past");
  ExpectError("{size: 0x1000}", "pci.functions[0].memory_bar", "needs address and size");
}

TEST(MemoryBarBoard, OverlappingBarsAndBarsOnBridgesAreRefused) {
  const std::string two =
      "pci:\n  functions:\n"
      "    - {at: 02:00.0, vendor_id: 1, memory_bar: {address: 0xA0000000, size: 0x2000}}\n"
      "    - {at: 02:00.1, vendor_id: 1, memory_bar: {address: 0xA0001000, size: 0x1000}}\n";
  try {
    sim::ParseBoardText(two, "bar.yaml");
    ADD_FAILURE() << "overlapping BARs accepted";
  } catch (const sim::BoardFileError& e) {
    EXPECT_EQ(e.Line(), 4) << e.what();
    EXPECT_NE(std::string(e.what()).find("overlaps the BAR at 0xA0000000"), std::string::npos) << e.what();
  }
  const std::string bridge =
      "pci:\n  functions:\n"
      "    - {at: 02:00.0, vendor_id: 1, header_type: 1, secondary_bus: 3, memory_bar: {address: 0xA0000000, "
      "size: 0x1000}}\n";
  EXPECT_THROW(sim::ParseBoardText(bridge, "bar.yaml"), sim::BoardFileError);
}

}  // namespace
