// `boardsim smbios --fv`: the driver dispatched from the built volume prints the host-linked driver's table on
// every shipped board; a board without a protocol the dependency expression needs leaves it undispatched; a
// damaged volume is bad input and nothing runs.
#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "tools/boardsim/smbios_command.h"

namespace {

#ifdef MODULE_VOLUME
std::string TablePart(const std::string& text) {
  const size_t from = text.find("Handle 0x");
  const size_t to = text.find("Onboard MAC address source");
  return from == std::string::npos || to == std::string::npos ? std::string() : text.substr(from, to - from);
}

std::string Summary(const std::string& text) {
  const size_t from = text.find("Summary");
  return from == std::string::npos ? std::string() : text.substr(from);
}

TEST(SmbiosVolume, EveryShippedBoardGetsTheHostLinkedDriversTableAndSummary) {
  size_t boards = 0;
  for (const auto& entry : std::filesystem::directory_iterator(SHIPPED_BOARDS_DIR)) {
    if (entry.path().extension() != ".yaml") continue;
    ++boards;
    SCOPED_TRACE(entry.path().filename().string());
    boardsim::SmbiosOptions host;
    host.board_file = entry.path().string();
    std::ostringstream host_out, host_err, fv_out, fv_err;
    const int host_status = boardsim::RunSmbiosCommand(host, host_out, host_err);
    boardsim::SmbiosOptions volume = host;
    volume.fv = MODULE_VOLUME;
    EXPECT_EQ(boardsim::RunSmbiosCommand(volume, fv_out, fv_err), host_status) << fv_err.str();
    ASSERT_NE(TablePart(host_out.str()), "");
    EXPECT_EQ(TablePart(fv_out.str()), TablePart(host_out.str()));
    EXPECT_EQ(Summary(fv_out.str()), Summary(host_out.str()));
    EXPECT_NE(fv_out.str().find("published by the driver file of volume"), std::string::npos);
  }
  EXPECT_GE(boards, 5u);
}

class BoardFile {
 public:
  explicit BoardFile(const std::string& text)
      : path_(std::filesystem::temp_directory_path() / ("fv_board_" + std::to_string(getpid()) + ".yaml")) {
    std::ofstream(path_) << text;
  }
  ~BoardFile() { std::filesystem::remove(path_); }
  std::string path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// `boardsim smbios --fv` of the built volume on a board file with `yaml`; returns the exit status.
int RunOnBoard(const std::string& yaml, std::ostringstream& out, std::ostringstream& err) {
  BoardFile board(yaml);
  boardsim::SmbiosOptions options;
  options.board_file = board.path();
  options.fv = MODULE_VOLUME;
  return boardsim::RunSmbiosCommand(options, out, err);
}

TEST(SmbiosVolume, ABoardWithoutTheHiiDatabaseLeavesTheDriverUndispatched) {
  std::ostringstream out, err;
  EXPECT_EQ(RunOnBoard("name: no_hii\nfaults:\n  absent_protocols: [hii, registry]\n", out, err), 1);
  EXPECT_NE(err.str().find("not dispatched"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("hii protocol EF9FC172-A1B2-4693-B327-6D32FC416042"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("registry protocol E03E0D46"), std::string::npos) << err.str();
  EXPECT_EQ(err.str().find("pcd protocol"), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");  // nothing ran, no table
}

TEST(SmbiosVolume, AProtocolOutsideTheExpressionDoesNotStopTheDispatch) {
  std::ostringstream out, err;
  EXPECT_EQ(RunOnBoard("name: no_ipmi\nfaults:\n  absent_protocols: [ipmi]\n", out, err), 0) << err.str();
  EXPECT_NE(TablePart(out.str()), "");
}

TEST(SmbiosVolume, ADamagedVolumeIsBadInputNamingTheOffset) {
  std::ifstream in(MODULE_VOLUME, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  bytes[0x28] = 'x';  // the signature
  const std::string path =
      (std::filesystem::temp_directory_path() / ("fv_bad_" + std::to_string(getpid()) + ".fv")).string();
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  boardsim::SmbiosOptions options;
  options.fv = path;
  std::ostringstream out, err;
  EXPECT_EQ(boardsim::RunSmbiosCommand(options, out, err), 2);
  EXPECT_NE(err.str().find("offset 0x28: signature"), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");
  std::filesystem::remove(path);
}
#else
TEST(SmbiosVolume, NeedsTheBuiltVolume) { GTEST_SKIP() << "this build makes no firmware volume"; }
#endif

}  // namespace
