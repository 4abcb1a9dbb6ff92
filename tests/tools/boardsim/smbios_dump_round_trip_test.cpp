// `boardsim smbios --dump-bin` output loads back as a board's `smbios: {dump: FILE}`: a platform built from that
// board holds the same records with the same handles, so its table written out again is the same file (both
// entry points).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "sim/board/captures/smbios_dump_writer.h"
#include "tools/boardsim/smbios_command.h"

namespace {

class SmbiosDumpRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(SmbiosDumpRoundTrip, TheDumpLoadsBackWithTheSameRecords) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() /
      ("smbios_round_trip_" + std::to_string(getpid()) + "_" + std::to_string(GetParam()));
  std::filesystem::create_directories(dir);
  boardsim::SmbiosOptions options;
  options.dump_bin = (dir / "table.bin").string();
  options.entry_point = GetParam();
  std::ostringstream out, err;
  ASSERT_EQ(boardsim::RunSmbiosCommand(options, out, err), 0) << err.str();

  std::ifstream in(*options.dump_bin, std::ios::binary);
  const std::vector<uint8_t> dumped((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(dumped.size(), 0x20u);

  std::ofstream(dir / "board.yaml") << "smbios: {dump: table.bin}\n";
  const sim::Board board = sim::LoadBoardFile((dir / "board.yaml").string());
  ASSERT_GT(board.smbios.size(), 10u);
  for (const auto& r : board.smbios) EXPECT_NE(r.formatted[0], 127) << "the end-of-table record is dropped";

  // Applied to a platform, the table holds the same records with the same handles: written out again, it is
  // the same file byte for byte.
  sim::DxePlatform platform;
  sim::ApplyBoard(board, platform);
  EXPECT_TRUE(platform.Violations().Messages().empty());
  const std::vector<sim::SmbiosRecordView> loaded = platform.Smbios().Records();
  ASSERT_EQ(loaded.size(), board.smbios.size());
  const std::vector<uint8_t> again =
      sim::BuildDmiDump(loaded, GetParam() == 2 ? sim::EntryPointKind::Smbios21 : sim::EntryPointKind::Smbios30);
  ASSERT_EQ(again.size(), dumped.size());
  for (size_t i = 0; i < again.size(); ++i) ASSERT_EQ(again[i], dumped[i]) << "first difference at offset " << i;
  std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(EntryPoints, SmbiosDumpRoundTrip, ::testing::Values(2, 3));

// The committed boards whose table is one of the project's own exports: the driver runs clean on them, and the
// built driver image publishes the same table.
class CapturedTableBoards : public ::testing::TestWithParam<const char*> {};

TEST_P(CapturedTableBoards, TheDriverAndItsImageGiveTheSameTable) {
  boardsim::SmbiosOptions host;
  host.board_file = std::string(SHIPPED_BOARDS_DIR) + "/" + GetParam();
  std::ostringstream host_out, host_err;
  ASSERT_EQ(boardsim::RunSmbiosCommand(host, host_out, host_err), 0) << host_err.str();
  EXPECT_NE(host_out.str().find("Refused Adds: none"), std::string::npos);
#ifdef DXE_IMAGE
  boardsim::SmbiosOptions image = host;
  image.image = DXE_IMAGE;
  std::ostringstream image_out, image_err;
  ASSERT_EQ(boardsim::RunSmbiosCommand(image, image_out, image_err), 0) << image_err.str();
  auto table = [](const std::string& text) {
    const size_t from = text.find("Handle 0x"), to = text.find("Onboard MAC address source");
    return from == std::string::npos || to == std::string::npos ? std::string() : text.substr(from, to - from);
  };
  ASSERT_NE(table(host_out.str()), "");
  EXPECT_EQ(table(image_out.str()), table(host_out.str()));
#endif
}

INSTANTIATE_TEST_SUITE_P(Shipped, CapturedTableBoards,
                         ::testing::Values("captured_default_table.yaml", "captured_default_table_21.yaml"));

}  // namespace
