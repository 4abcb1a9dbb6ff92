// `boardsim smbios` end to end on the default board, and its answers to bad input.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "sim/board/board_file.h"
#include "sim/dxe/run_summary.h"
#include "tools/boardsim/mac_source.h"
#include "tools/boardsim/run_report.h"
#include "tools/boardsim/smbios_command.h"

namespace {

TEST(SmbiosCommand, DefaultBoardPrintsEveryRecordAndTheSummary) {
  boardsim::SmbiosOptions options;
  std::ostringstream out, err;
  EXPECT_EQ(boardsim::RunSmbiosCommand(options, out, err), 0) << err.str();
  std::string text = out.str();
  EXPECT_NE(text.find("Handle 0x"), std::string::npos);
  EXPECT_NE(text.find("System Slots:"), std::string::npos);
  EXPECT_NE(text.find("Slot Designation: 1 \"JSLOT1\""), std::string::npos);
  EXPECT_NE(text.find("Summary"), std::string::npos);
  EXPECT_NE(text.find("Pool leaks: none"), std::string::npos);
  EXPECT_NE(text.find("Refused Adds: none"), std::string::npos);
  EXPECT_EQ(err.str(), "");
}

TEST(SmbiosCommand, MissingBoardFileIsBadInputNamingTheFile) {
  boardsim::SmbiosOptions options;
  options.board_file = "/nonexistent/board.yaml";
  std::ostringstream out, err;
  EXPECT_EQ(boardsim::RunSmbiosCommand(options, out, err), 2);
  EXPECT_NE(err.str().find("/nonexistent/board.yaml"), std::string::npos) << err.str();
}

TEST(SmbiosCommand, UnsupportedEntryPointIsBadInput) {
  boardsim::SmbiosOptions options;
  options.entry_point = 4;
  std::ostringstream out, err;
  EXPECT_EQ(boardsim::RunSmbiosCommand(options, out, err), 2);
  EXPECT_NE(err.str().find("--entry-point"), std::string::npos);
}

TEST(SmbiosCommand, UnwritableDumpPathIsReported) {
  boardsim::SmbiosOptions options;
  options.dump_bin = "/nonexistent/dir/table.bin";
  std::ostringstream out, err;
  EXPECT_EQ(boardsim::RunSmbiosCommand(options, out, err), 2);
  EXPECT_NE(err.str().find("/nonexistent/dir/table.bin"), std::string::npos);
}

TEST(SmbiosCommand, ReportsTheMacSourceAndTheSetupImageAndTheHiiListsOnRequest) {
  boardsim::SmbiosOptions options;
  std::ostringstream out, err;
  ASSERT_EQ(boardsim::RunSmbiosCommand(options, out, err), 0) << err.str();
  std::string text = out.str();
  EXPECT_NE(text.find("Onboard MAC address source: port registers (BAR + 0x1E4440, + 0x1E44C0) of 7A3B:3E00 at "
                      "0000:02:00.0"),
            std::string::npos);
  EXPECT_NE(text.find("UUID Node (MAC address): 02:5E:10:20:30:40"), std::string::npos);
  EXPECT_NE(text.find("Setup configuration image: 7723 bytes"), std::string::npos);
  EXPECT_NE(text.find("the image holds exactly these variables"), std::string::npos);
  EXPECT_EQ(text.find("HII package lists"), std::string::npos);

  options.hii = true;
  std::ostringstream with_hii, err2;
  ASSERT_EQ(boardsim::RunSmbiosCommand(options, with_hii, err2), 0) << err2.str();
  EXPECT_NE(with_hii.str().find("Language en-US (\"English\", string 1), 27 strings"), std::string::npos);
  EXPECT_NE(with_hii.str().find("27  \"IO Module\""), std::string::npos);
}

TEST(MacSource, BoardWithoutTheChipsetControllerHasNone) {
  EXPECT_EQ(boardsim::DescribeMacSource(sim::ParseBoardText("name: empty\n", "empty.yaml")),
            "none: no chipset root port at 0000:00:1C.4");
  const sim::Board other = sim::ParseBoardText(
      "pci:\n  functions:\n"
      "    - {at: 00:1C.0, vendor_id: 1, header_type: 1, secondary_bus: 1}\n"
      "    - {at: 00:1C.4, vendor_id: 1, header_type: 1, secondary_bus: 2}\n"
      "    - {at: 02:00.0, vendor_id: 0x7A3B, device_id: 0x3F40, class_code: 0x020000}\n",
      "rx.yaml");
  EXPECT_EQ(boardsim::DescribeMacSource(other),
            "receive-address registers (BAR + 0x5400) of 7A3B:3F40 at 0000:02:00.0");
}

TEST(SmbiosCommand, ImageThatCannotBeLoadedIsBadInputAndNothingRuns) {
  const std::string path = (std::filesystem::temp_directory_path() / "boardsim_not_an_image.efi").string();
  std::ofstream(path) << "not a PE image";
  boardsim::SmbiosOptions options;
  options.image = path;
  std::ostringstream out, err;
  EXPECT_EQ(boardsim::RunSmbiosCommand(options, out, err), 2);
  EXPECT_NE(err.str().find(path), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");
  std::filesystem::remove(path);
}

#ifdef DXE_IMAGE
// The table part of the output: from the first record to the MAC source line.
std::string TablePart(const std::string& text) {
  const size_t from = text.find("Handle 0x");
  const size_t to = text.find("Onboard MAC address source");
  return from == std::string::npos || to == std::string::npos ? std::string() : text.substr(from, to - from);
}

TEST(SmbiosCommand, ImageRunPrintsTheHostDriversTableWithoutLeaks) {
  boardsim::SmbiosOptions host;
  std::ostringstream host_out, host_err;
  ASSERT_EQ(boardsim::RunSmbiosCommand(host, host_out, host_err), 0) << host_err.str();
  boardsim::SmbiosOptions image = host;
  image.image = DXE_IMAGE;
  std::ostringstream image_out, image_err;
  ASSERT_EQ(boardsim::RunSmbiosCommand(image, image_out, image_err), 0) << image_err.str();
  EXPECT_NE(image_out.str().find(std::string("published by image ") + DXE_IMAGE), std::string::npos);
  ASSERT_NE(TablePart(host_out.str()), "");
  EXPECT_EQ(TablePart(image_out.str()), TablePart(host_out.str()));
  EXPECT_NE(image_out.str().find("Pool leaks: none"), std::string::npos);
}
#endif

TEST(RunFailures, LeaksAndRefusalsAreReasonsACleanRunHasNone) {
  sim::RunSummary clean;
  EXPECT_TRUE(boardsim::RunFailures(clean).empty());

  sim::RunSummary leaked;
  leaked.leaks.push_back({5, 768, EfiBootServicesData});
  leaked.violations.push_back("pool leak: allocation 5 (768 bytes) never freed");
  auto reasons = boardsim::RunFailures(leaked);
  ASSERT_EQ(reasons.size(), 1u);
  EXPECT_NE(reasons[0].find("leaked 1 pool buffer(s), 768 bytes"), std::string::npos);

  sim::RunSummary refused;
  refused.refused_adds.push_back("type 9: string 2 named but the set holds 1");
  refused.violations.push_back("SMBIOS Add refused: type 9: string 2 named but the set holds 1");
  reasons = boardsim::RunFailures(refused);
  ASSERT_EQ(reasons.size(), 1u);
  EXPECT_NE(reasons[0].find("refused 1 SMBIOS record Add(s)"), std::string::npos);

  sim::RunSummary stray;
  stray.violations.push_back("MMIO read at 0xFEE00000: no device");
  reasons = boardsim::RunFailures(stray);
  ASSERT_EQ(reasons.size(), 1u);
  EXPECT_NE(reasons[0].find("0xFEE00000"), std::string::npos);
}

}  // namespace
