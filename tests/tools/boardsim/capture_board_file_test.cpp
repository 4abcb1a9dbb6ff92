// A machine capture written as a board: the files beside the board file and the board file naming them.
#include "tools/boardsim/capture_board_file.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/tools/boardsim/scratch_dir.h"

namespace {

using boardsim_test::ReadBytes;
using boardsim_test::ReadText;
using boardsim_test::ScratchDir;

boardsim::MachineCapture TwoFunctions() {
  boardsim::MachineCapture capture;
  capture.host_name = "lab \"7\"";
  boardsim::CapturedFunction a;
  a.at = {0, 0x00, 0x00, 0};
  a.config.assign(64, 0x11);
  boardsim::CapturedFunction b;
  b.at = {1, 0x17, 0x1F, 7};
  b.config.assign(4096, 0x22);
  b.vpd = {0x82, 0x01, 0x00, 'X', 0x78};
  capture.functions = {a, b};
  capture.dmi_entry_point = {'_', 'S', 'M', '_'};
  capture.dmi_table = {1, 2, 3};
  capture.ecam_base = 0xE0000000;
  capture.notes = {"0000:00:00.0: configuration space: 64 of 256 bytes read (not root)"};
  return capture;
}

TEST(CaptureBoardFile, NamesEveryCapturedFileRelativeToTheBoardFile) {
  const std::string text = boardsim::CaptureBoardText(TwoFunctions());
  EXPECT_NE(text.find("name: \"capture of lab \\\"7\\\"\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  ecam_base: 0xE0000000  # segment 0 in the ACPI MCFG table\n"), std::string::npos) << text;
  EXPECT_NE(text.find("smbios:\n  sysfs: dmi "), std::string::npos) << text;
  EXPECT_NE(text.find("    - {at: \"0000:00:00.0\", config: pci/0000-00-00.0.config}  # 64 bytes\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("    - {at: \"0001:17:1f.7\", config: pci/0001-17-1f.7.config, vpd: {file: "
                      "pci/0001-17-1f.7.vpd}}  # 4096 bytes\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("#   0000:00:00.0: configuration space: 64 of 256 bytes read (not root)\n"), std::string::npos)
      << text;
}

TEST(CaptureBoardFile, LeavesOutTheSectionsThatWereNotCaptured) {
  boardsim::MachineCapture empty;
  empty.host_name = "bare";
  const std::string text = boardsim::CaptureBoardText(empty);
  EXPECT_EQ(text.find("smbios:"), std::string::npos) << text;
  EXPECT_EQ(text.find("pci:"), std::string::npos) << text;
  EXPECT_NE(text.find("  ecam_base: 0x80000000  # the MCFG table was not read\n"), std::string::npos) << text;
  EXPECT_NE(text.find("# No SMBIOS table was captured"), std::string::npos) << text;
  EXPECT_NE(text.find("# No PCI functions were captured"), std::string::npos) << text;
}

TEST(CaptureBoardFile, WritesTheCapturedBytesBesideTheBoardFile) {
  ScratchDir dir("capture_out");
  const boardsim::MachineCapture capture = TwoFunctions();
  std::ostringstream err;
  ASSERT_TRUE(boardsim::WriteCaptureBoard(capture, dir.Path() / "lab", err)) << err.str();
  EXPECT_EQ(ReadBytes(dir.Path() / "lab/pci/0000-00-00.0.config"), capture.functions[0].config);
  EXPECT_EQ(ReadBytes(dir.Path() / "lab/pci/0001-17-1f.7.config"), capture.functions[1].config);
  EXPECT_EQ(ReadBytes(dir.Path() / "lab/pci/0001-17-1f.7.vpd"), capture.functions[1].vpd);
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "lab/pci/0000-00-00.0.vpd"));
  EXPECT_EQ(ReadBytes(dir.Path() / "lab/dmi/smbios_entry_point"), capture.dmi_entry_point);
  EXPECT_EQ(ReadBytes(dir.Path() / "lab/dmi/DMI"), capture.dmi_table);
  EXPECT_EQ(ReadText(dir.Path() / "lab/board.yaml"), boardsim::CaptureBoardText(capture));
}

TEST(CaptureBoardFile, NeverOverwritesAnEarlierCapture) {
  ScratchDir dir("capture_out");
  dir.Write("board.yaml", {'o', 'l', 'd'});
  std::ostringstream err;
  EXPECT_FALSE(boardsim::WriteCaptureBoard(TwoFunctions(), dir.Path(), err));
  EXPECT_NE(err.str().find("board.yaml already exists (remove the old capture or give another --out DIR)"),
            std::string::npos)
      << err.str();
  EXPECT_EQ(ReadText(dir.Path() / "board.yaml"), "old");
  EXPECT_FALSE(std::filesystem::exists(dir.Path() / "pci"));
}

TEST(CaptureBoardFile, AnUnwritableDirectoryIsReported) {
  std::ostringstream err;
  EXPECT_FALSE(boardsim::WriteCaptureBoard(TwoFunctions(), "/proc/boardsim-capture", err));
  EXPECT_NE(err.str().find("/proc/boardsim-capture"), std::string::npos) << err.str();
}

}  // namespace
