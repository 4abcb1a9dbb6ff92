// `boardsim capture` on the machine the test runs on: the board it writes loads with the captured bytes, and
// the driver runs on it without a violation. Where the machine shows no PCI functions or no SMBIOS table the
// capture says so and the test still passes.
#include "tools/boardsim/capture_command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "sim/board/board_file.h"
#include "sim/common/virtual_clock.h"
#include "sim/pci/pci_bus.h"
#include "tests/tools/boardsim/scratch_dir.h"
#include "tools/boardsim/capture_board_file.h"
#include "tools/boardsim/smbios_command.h"

namespace {

using boardsim_test::ReadBytes;
using boardsim_test::ScratchDir;

TEST(CaptureCommand, CapturesThisMachineAndTheDriverRunsCleanOnIt) {
  ScratchDir dir("capture_machine");
  boardsim::CaptureOptions options;
  options.out_dir = (dir.Path() / "this").string();
  std::ostringstream out, err;
  ASSERT_EQ(boardsim::RunCaptureCommand(options, out, err), 0) << err.str();
  const std::string said = out.str();
  std::cout << said;  // what this machine gave, for the test log
  if (said.find("PCI functions: 0 ") != std::string::npos) {
    EXPECT_NE(said.find("no PCI functions: "), std::string::npos) << said;
  }
  if (said.find("SMBIOS table: none") != std::string::npos) {
    EXPECT_NE(said.find("no SMBIOS table: "), std::string::npos) << said;
  }

  // The board loads, each captured function with the bytes of its file, the rest of its space reading 0.
  const std::string board_file = options.out_dir + "/board.yaml";
  const sim::Board board = sim::LoadBoardFile(board_file);
  sim::VirtualClock clock;
  sim::PciBus bus(board.pci, clock);
  for (const auto& function : bus.Functions()) {
    const std::vector<uint8_t> file =
        ReadBytes(dir.Path() / "this" / (boardsim::CapturedFunctionStem(function->Location()) + ".config"));
    ASSERT_FALSE(file.empty()) << function->Describe();
    const auto space = function->Snapshot();
    for (size_t i = 0; i < space.size(); ++i) {
      // Past the captured bytes the space reads 0; in them, only the VPD registers may read otherwise.
      if (i >= file.size()) {
        ASSERT_EQ(space[i], 0) << function->Describe() << " offset " << i;
      } else if (!function->Vpd()) {
        ASSERT_EQ(space[i], file[i]) << function->Describe() << " offset " << i;
      }
    }
  }

  boardsim::SmbiosOptions run;
  run.board_file = board_file;
  std::ostringstream run_out, run_err;
  EXPECT_EQ(boardsim::RunSmbiosCommand(run, run_out, run_err), 0) << run_err.str() << run_out.str();
  EXPECT_NE(run_out.str().find("Refused Adds: none"), std::string::npos) << run_out.str();
  EXPECT_NE(run_out.str().find("Pool leaks: none"), std::string::npos) << run_out.str();
}

TEST(CaptureCommand, AnEarlierCaptureIsNotOverwritten) {
  ScratchDir dir("capture_machine");
  dir.Write("board.yaml", {'x'});
  boardsim::CaptureOptions options;
  options.out_dir = dir.Path().string();
  std::ostringstream out, err;
  EXPECT_EQ(boardsim::RunCaptureCommand(options, out, err), 2);
  EXPECT_NE(err.str().find("already exists"), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");
}

TEST(CaptureCommand, AMachineWithoutSysfsStillGivesABoardSayingWhatIsMissing) {
  ScratchDir root("capture_root");
  ScratchDir dir("capture_machine");
  boardsim::CaptureOptions options;
  options.root = root.Path().string();
  options.out_dir = (dir.Path() / "bare").string();
  std::ostringstream out, err;
  ASSERT_EQ(boardsim::RunCaptureCommand(options, out, err), 0) << err.str();
  EXPECT_NE(out.str().find("  PCI functions: 0 (0 with VPD)\n  SMBIOS table: none\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("no PCI functions: "), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("no SMBIOS table: "), std::string::npos) << out.str();
  boardsim::SmbiosOptions run;
  run.board_file = options.out_dir + "/board.yaml";
  std::ostringstream run_out, run_err;
  EXPECT_EQ(boardsim::RunSmbiosCommand(run, run_out, run_err), 0) << run_err.str();
}

}  // namespace
