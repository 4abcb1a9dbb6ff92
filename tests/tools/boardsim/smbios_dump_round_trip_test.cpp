// `boardsim smbios --dump-bin` output loads back as a board's `smbios: {dump: FILE}`: the same records with the
// same handles, and a platform built from that board holds the table the driver left, for both entry points.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "sim/dxe/smbios_record_check.h"
#include "smbios/entry/driver_entry.h"
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

  // The table the driver leaves on the default board (the run is deterministic: the dumped one).
  sim::BootedBoard booted = sim::BootBoard(sim::DefaultBoard(), &PlatformSmbiosDriverEntry);
  const std::vector<sim::SmbiosRecordView> published = booted.platform->Smbios().Records();
  ASSERT_GT(published.size(), 10u);

  std::ofstream(dir / "board.yaml") << "smbios: {dump: table.bin}\n";
  const sim::Board board = sim::LoadBoardFile((dir / "board.yaml").string());
  ASSERT_EQ(board.smbios.size(), published.size()) << "every record, the end-of-table one dropped";
  for (size_t i = 0; i < published.size(); ++i) {
    EXPECT_EQ(board.smbios[i].handle, published[i].handle) << i;
    EXPECT_EQ(board.smbios[i].strings, published[i].strings) << i;
    std::vector<uint8_t> bytes = sim::BuildSmbiosRecord(board.smbios[i].formatted, board.smbios[i].strings);
    std::vector<uint8_t> expected = published[i].bytes;
    expected[2] = static_cast<uint8_t>(published[i].handle),
    expected[3] = static_cast<uint8_t>(published[i].handle >> 8);
    EXPECT_EQ(bytes, expected) << "record " << i << " (type " << int(published[i].type) << ")";
  }

  // Applied to a platform: the same table, handle for handle.
  sim::DxePlatform platform;
  sim::ApplyBoard(board, platform);
  const std::vector<sim::SmbiosRecordView> loaded = platform.Smbios().Records();
  ASSERT_EQ(loaded.size(), published.size());
  for (size_t i = 0; i < loaded.size(); ++i) {
    EXPECT_EQ(loaded[i].handle, published[i].handle) << i;
    EXPECT_EQ(loaded[i].strings, published[i].strings) << i;
  }
  EXPECT_TRUE(platform.Violations().Messages().empty());
  std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(EntryPoints, SmbiosDumpRoundTrip, ::testing::Values(2, 3));

}  // namespace
