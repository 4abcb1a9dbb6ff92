// Board-file section `csr`: the socket topology and cache fields, and the errors for what the
// SiliconContext cannot hold.
#include <gtest/gtest.h>

#include "sim/board/board_file.h"

namespace sim {
namespace {

Board Parse(const std::string& csr) { return ParseBoardText("csr:\n" + csr, "csr_board.yaml"); }

// The error's field and line, or a failure when the text loads.
std::string ErrorOf(const std::string& csr) {
  try {
    Parse(csr);
  } catch (const BoardFileError& e) {
    return e.Field() + " @" + std::to_string(e.Line()) + ": " + e.what();
  }
  return "loaded";
}

TEST(CsrSectionTest, ReadsEveryField) {
  const Board b = Parse(
      "  stack_bus: [[0x00, 0x16, 0x30, 0x4A, 0x64, 0x7E], [0x80, 0x96, 0xB0, 0xCA, 0x00, 0xFE]]\n"
      "  cpu_type: 0\n"
      "  cpu_socket_map: 0x3\n"
      "  fpga_socket_map: 0x2\n"
      "  instances_per_device: 3\n"
      "  mmcfg_base: [0x80000000, 0x90000000]\n"
      "  cache_enable: true\n");
  ASSERT_TRUE(b.csr.has_value());
  ASSERT_EQ(b.csr->stack_bus.size(), 2u);
  EXPECT_EQ(b.csr->stack_bus[0][5], 0x7E);
  EXPECT_EQ(b.csr->stack_bus[1][1], 0x96);
  EXPECT_EQ(b.csr->cpu_socket_map, 0x3u);
  EXPECT_EQ(b.csr->fpga_socket_map, 0x2u);
  EXPECT_EQ(b.csr->instances_per_device, 3);
  EXPECT_EQ(b.csr->mmcfg_base, (std::vector<uint32_t>{0x80000000u, 0x90000000u}));
  EXPECT_TRUE(b.csr->cache_enable);
}

TEST(CsrSectionTest, BoardWithoutTheSectionHasNone) {
  EXPECT_FALSE(ParseBoardText("name: x\n", "x.yaml").csr.has_value());
}

TEST(CsrSectionTest, RefusesWhatTheTopologyBlockCannotHold) {
  const std::string row = "[0, 1, 2, 3, 0, 5]";
  EXPECT_NE(ErrorOf("  stack_bus: [" + row + ", " + row + ", " + row + "]\n").find("csr.stack_bus @2"),
            std::string::npos);
  EXPECT_NE(ErrorOf("  stack_bus: [[0, 1, 2, 3, 4]]\n").find("csr.stack_bus[0] @2"), std::string::npos);
  EXPECT_NE(ErrorOf("  stack_bus: [[0, 1, 2, 3, 4, 256]]\n").find("csr.stack_bus[0][5]"), std::string::npos);
  const std::string shared = ErrorOf("  stack_bus: [" + row + ", [0, 1, 2, 3, 9, 5]]\n");
  EXPECT_NE(shared.find("csr.stack_bus[1][4]"), std::string::npos) << shared;
  EXPECT_NE(shared.find("cpu_type"), std::string::npos) << shared;
  const std::string map = ErrorOf("  stack_bus: [" + row + "]\n  cpu_socket_map: 0x3\n");
  EXPECT_NE(map.find("csr.cpu_socket_map @3"), std::string::npos) << map;
  EXPECT_NE(ErrorOf("  fpga_socket_map: 0x1\n").find("csr.fpga_socket_map"), std::string::npos);
  EXPECT_NE(ErrorOf("  instances_per_device: 0\n").find("csr.instances_per_device"), std::string::npos);
  EXPECT_NE(ErrorOf("  mmcfg_base: [1, 2, 3, 4, 5, 6, 7, 8, 9]\n").find("csr.mmcfg_base"), std::string::npos);
  EXPECT_NE(ErrorOf("  mmcfg_base: [0x100000000]\n").find("csr.mmcfg_base[0]"), std::string::npos);
  EXPECT_NE(ErrorOf("  sockets: 2\n").find("unknown key"), std::string::npos);
}

}  // namespace
}  // namespace sim
