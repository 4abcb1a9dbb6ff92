// `boardsim pci` end to end: the tree and slot list of a board, the dump it writes loading back as a capture
// with the same configuration spaces, and its answers to bad input.
#include "tools/boardsim/pci_command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "sim/board/board_file.h"
#include "sim/common/virtual_clock.h"
#include "sim/pci/pci_bus.h"
#include "tests/tools/boardsim/scratch_dir.h"

namespace {

using boardsim_test::ScratchDir;

TEST(PciCommand, DefaultBoardPrintsTheTreeAndWhereEachSlotsRootPortIs) {
  boardsim::PciOptions options;
  std::ostringstream out, err;
  ASSERT_EQ(boardsim::RunPciCommand(options, out, err), 0) << err.str();
  const std::string text = out.str();
  EXPECT_NE(text.find("PCI tree of board \"default\" (boards/default.yaml): 18 functions\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("-+-[0000:00]-+-1c.0-[01]--\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  JSLOT1: 16:00.0\n  JSLOT2: 16:02.0\n  JSLOT3: 30:00.0\n  JSLOT4: 30:02.0\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("no function there"), std::string::npos) << text;
  EXPECT_EQ(err.str(), "");
}

TEST(PciCommand, SaysWhenASlotsRootPortIsMissingOrNoLayoutPlacesThem) {
  ScratchDir dir("pci_command");
  const std::filesystem::path moved = dir.Write("moved.yaml", {});
  {
    // JSLOT1's root port is not on the board: the default layout with nothing but one endpoint.
    std::ofstream(moved) << "pcd:\n  socket_bus_layout:\n    valid: 1\n    socket_present_mask: 0x1\n"
                            "    sockets:\n      - {socket: 0, segment: 0, stack_present_mask: 0x2, "
                            "stack_bus: [0, 0x16, 0, 0, 0, 0]}\n"
                            "pci:\n  functions:\n    - {at: 16:02.0, vendor_id: 0x8086}\n";
  }
  boardsim::PciOptions options;
  options.board_file = moved.string();
  std::ostringstream out, err;
  ASSERT_EQ(boardsim::RunPciCommand(options, out, err), 0) << err.str();
  EXPECT_NE(out.str().find("  JSLOT1: 16:00.0 (no function there)\n  JSLOT2: 16:02.0\n"), std::string::npos)
      << out.str();
  EXPECT_EQ(out.str().find("JSLOT3"), std::string::npos) << out.str();

  const std::filesystem::path bare = dir.Write("bare.yaml", {'n', 'a', 'm', 'e', ':', ' ', 'b', '\n'});
  options.board_file = bare.string();
  std::ostringstream bare_out, bare_err;
  ASSERT_EQ(boardsim::RunPciCommand(options, bare_out, bare_err), 0) << bare_err.str();
  EXPECT_NE(bare_out.str().find("Slot root ports: none (the board's pcd.socket_bus_layout is not valid"),
            std::string::npos)
      << bare_out.str();
}

TEST(PciCommand, BadBoardOrUnwritableDumpIsBadInput) {
  boardsim::PciOptions options;
  options.board_file = "/nonexistent/board.yaml";
  std::ostringstream out, err;
  EXPECT_EQ(boardsim::RunPciCommand(options, out, err), 2);
  EXPECT_NE(err.str().find("/nonexistent/board.yaml"), std::string::npos) << err.str();

  boardsim::PciOptions dump;
  dump.lspci_dump = "/nonexistent/dir/board.dump";
  std::ostringstream dump_out, dump_err;
  EXPECT_EQ(boardsim::RunPciCommand(dump, dump_out, dump_err), 2);
  EXPECT_NE(dump_err.str().find("cannot write --lspci-dump file /nonexistent/dir/board.dump"), std::string::npos)
      << dump_err.str();
}

// The first offset at which two functions' spaces differ, or -1.
int FirstDifference(const sim::PciFunction& a, const sim::PciFunction& b) {
  const auto x = a.Snapshot();
  const auto y = b.Snapshot();
  for (size_t i = 0; i < x.size(); ++i) {
    if (x[i] != y[i]) return static_cast<int>(i);
  }
  return -1;
}

class DumpRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(DumpRoundTrip, TheDumpLoadsBackAsACaptureWithTheSameSpaces) {
  ScratchDir dir("pci_round_trip");
  const std::string board_file = std::string(SHIPPED_BOARDS_DIR) + "/" + GetParam();
  boardsim::PciOptions options;
  options.board_file = board_file;
  options.lspci_dump = (dir.Path() / "board.dump").string();
  std::ostringstream out, err;
  ASSERT_EQ(boardsim::RunPciCommand(options, out, err), 0) << err.str();

  const std::filesystem::path capture = dir.Write("capture.yaml", {});
  { std::ofstream(capture) << "pci:\n  captures:\n    - lspci_dump: board.dump\n"; }
  const sim::Board original = sim::LoadBoardFile(board_file);
  const sim::Board loaded = sim::LoadBoardFile(capture.string());
  sim::VirtualClock clock;
  sim::PciBus before(original.pci, clock);
  sim::PciBus after(loaded.pci, clock);
  ASSERT_EQ(after.Functions().size(), before.Functions().size());
  for (const auto& function : before.Functions()) {
    const sim::PciFunction* back = after.Find(function->Location());
    ASSERT_NE(back, nullptr) << function->Describe();
    EXPECT_EQ(FirstDifference(*function, *back), -1) << function->Describe();
  }
}

// The shipped boards with PCI functions (a dump without functions is refused as a capture).
INSTANTIATE_TEST_SUITE_P(ShippedBoards, DumpRoundTrip, ::testing::Values("default.yaml", "onboard_devices_moved.yaml"));

}  // namespace
