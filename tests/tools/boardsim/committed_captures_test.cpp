// The captures committed under boards/captures (each a board.yaml with its captured files): every one loads,
// the driver runs on it without a violation, and the driver image publishes the identical table.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "tools/boardsim/smbios_command.h"

namespace {

std::vector<std::string> CommittedCaptures() {
  std::vector<std::string> boards;
  const std::filesystem::path dir = std::filesystem::path(SHIPPED_BOARDS_DIR) / "captures";
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (std::filesystem::exists(entry.path() / "board.yaml")) boards.push_back((entry.path() / "board.yaml").string());
  }
  std::sort(boards.begin(), boards.end());
  return boards;
}

// The table part of the output: from the first record to the MAC source line.
std::string TablePart(const std::string& text) {
  const size_t from = text.find("records\n\n");
  const size_t to = text.find("Onboard MAC address source");
  return from == std::string::npos || to == std::string::npos ? std::string() : text.substr(from, to - from);
}

TEST(CommittedCaptures, ThereIsACaptureOfTheDevelopmentMachine) {
  const std::vector<std::string> boards = CommittedCaptures();
  EXPECT_NE(std::find_if(boards.begin(), boards.end(),
                         [](const std::string& b) { return b.find("/captures/development-vm/") != std::string::npos; }),
            boards.end());
}

TEST(CommittedCaptures, TheDriverRunsCleanOnEachAndTheImagePublishesTheSameTable) {
  for (const std::string& board : CommittedCaptures()) {
    SCOPED_TRACE(board);
    boardsim::SmbiosOptions host;
    host.board_file = board;
    std::ostringstream host_out, host_err;
    ASSERT_EQ(boardsim::RunSmbiosCommand(host, host_out, host_err), 0) << host_err.str();
    ASSERT_NE(TablePart(host_out.str()), "");
#ifdef DXE_IMAGE
    boardsim::SmbiosOptions image = host;
    image.image = DXE_IMAGE;
    std::ostringstream image_out, image_err;
    ASSERT_EQ(boardsim::RunSmbiosCommand(image, image_out, image_err), 0) << image_err.str();
    EXPECT_EQ(TablePart(image_out.str()), TablePart(host_out.str()));
#endif
  }
}

}  // namespace
