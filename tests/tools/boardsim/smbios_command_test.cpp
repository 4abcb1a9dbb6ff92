// `boardsim smbios` end to end on the default board, and its answers to bad input.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "sim/dxe/run_summary.h"
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
