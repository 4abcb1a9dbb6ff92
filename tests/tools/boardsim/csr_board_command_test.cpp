// boardsim csr on boards from board files: the built-in board's csr section, a board file without
// one, a board file that does not load, and the --table listing of the built-in board.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "tools/boardsim/csr_command.h"

namespace boardsim {
namespace {

std::string WriteBoard(const std::string& name, const std::string& text) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << text;
  return path;
}

TEST(CsrBoardCommandTest, BuiltInBoardDescribesItsOneSocket) {
  std::ostringstream err;
  const auto silicon = CsrSiliconOfBoard(CsrOptions{}, err);
  ASSERT_TRUE(silicon.has_value()) << err.str();
  ASSERT_EQ(silicon->stack_bus.size(), 1u);
  EXPECT_EQ(silicon->stack_bus[0], (std::array<uint8_t, 6>{0x00, 0x16, 0x30, 0x4A, 0x64, 0x7E}));
  EXPECT_EQ(silicon->cpu_socket_map, 0x1u);
  EXPECT_TRUE(CheckCsrSilicon(*silicon).empty());
}

TEST(CsrBoardCommandTest, BoardFileWithoutTheSectionTakesTheBuiltInOne) {
  CsrOptions o;
  o.board_file = WriteBoard("csr_none.yaml", "name: plain\n");
  std::ostringstream err;
  const auto silicon = CsrSiliconOfBoard(o, err);
  ASSERT_TRUE(silicon.has_value()) << err.str();
  EXPECT_EQ(silicon->stack_bus.size(), 1u);
}

TEST(CsrBoardCommandTest, BoardFileSectionIsUsed) {
  CsrOptions o;
  o.board_file = WriteBoard(
      "csr_own.yaml", "csr:\n  stack_bus: [[1, 2, 3, 4, 5, 6]]\n  cpu_socket_map: 1\n  mmcfg_base: [0xC0000000]\n");
  std::ostringstream err, out;
  const auto silicon = CsrSiliconOfBoard(o, err);
  ASSERT_TRUE(silicon.has_value()) << err.str();
  o.box = 19;
  o.instance = 0;
  o.block = 1;
  o.offset = 0x20;
  EXPECT_EQ(RunCsrCommand(o, *silicon, out, err), kCsrOk) << err.str();
  EXPECT_NE(out.str().find("bus 0x01 device 8 function 1\naddress 0xC0141020\n"), std::string::npos) << out.str();
}

TEST(CsrBoardCommandTest, BoardFileErrorNamesFileAndField) {
  CsrOptions o;
  o.board_file = WriteBoard("csr_bad.yaml", "csr:\n  instances_per_device: 0\n");
  std::ostringstream err;
  EXPECT_FALSE(CsrSiliconOfBoard(o, err).has_value());
  EXPECT_NE(err.str().find("csr_bad.yaml"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("csr.instances_per_device"), std::string::npos) << err.str();
}

TEST(CsrBoardCommandTest, BuiltInBoardTableListsOnlyLocationsThatTranslateWithoutAStop) {
  std::ostringstream err;
  const auto silicon = CsrSiliconOfBoard(CsrOptions{}, err);
  ASSERT_TRUE(silicon.has_value()) << err.str();
  CsrOptions table;
  table.table = true;
  std::ostringstream out;
  ASSERT_EQ(RunCsrCommand(table, *silicon, out, err), kCsrOk) << err.str();
  std::istringstream lines(out.str());
  std::string line;
  unsigned listed = 0;
  while (std::getline(lines, line)) {
    unsigned box, instance, block;
    if (line.size() < 20 || std::sscanf(line.c_str(), "%u", &box) != 1) continue;
    if (std::sscanf(line.c_str() + 19, "%u %u", &instance, &block) != 2) continue;
    CsrOptions one;
    one.box = box;
    one.instance = instance;
    one.block = block;
    std::ostringstream one_out, one_err;
    ASSERT_EQ(RunCsrCommand(one, *silicon, one_out, one_err), kCsrOk) << line << "\n" << one_out.str();
    ++listed;
  }
  EXPECT_NE(out.str().find("\n" + std::to_string(listed) + " locations\n"), std::string::npos);
  // The last box of the any-instance type is there: IIO QD instance 255, block 7 (function 7).
  EXPECT_NE(out.str().find(" 16  IIO QD             255      7  0x00       4         7  0x80027000\n"),
            std::string::npos);
}

}  // namespace
}  // namespace boardsim
