// The built driver image, run with its hardware backed by memory, publishes byte for byte the table of the
// host-linked driver on the default board and on every shipped board file, and leaks no pool.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <filesystem>

#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "sim/image/image_driver.h"
#include "smbios/entry/driver_entry.h"
#include "smbios/entry/driver_state.h"

namespace {

#ifdef DXE_IMAGE
std::vector<sim::SmbiosRecordView> HostTable(const sim::Board& board, sim::BootResult& result) {
  DriverStateReset();
  sim::BootedBoard booted = sim::BootBoard(board, &PlatformSmbiosDriverEntry);
  result = booted.result;
  return booted.platform->Smbios().Records();
}

std::vector<sim::SmbiosRecordView> ImageTable(const sim::Board& board, sim::BootResult& result) {
  sim::PeLoadResult loaded = sim::LoadPeImageFile(DXE_IMAGE);
  EXPECT_NE(loaded.image, nullptr) << loaded.error;
  if (!loaded.image) return {};
  sim::ImageDriver driver(loaded.image);
  sim::BootedBoard booted = sim::BootBoard(board, driver.Entry());
  result = booted.result;
  return booted.platform->Smbios().Records();  // the platform (and the image's hardware memory) goes here
}

// The first difference between two tables, or an empty string.
std::string FirstDifference(const std::vector<sim::SmbiosRecordView>& host,
                            const std::vector<sim::SmbiosRecordView>& image) {
  size_t offset = 0;
  for (size_t i = 0; i < host.size() && i < image.size(); ++i) {
    const auto& a = host[i].bytes;
    const auto& b = image[i].bytes;
    for (size_t k = 0; k < a.size() && k < b.size(); ++k) {
      if (a[k] != b[k])
        return "record " + std::to_string(i) + " (type " + std::to_string(host[i].type) + ") byte " +
               std::to_string(k) + ", table offset " + std::to_string(offset + k) + ": host " + std::to_string(a[k]) +
               ", image " + std::to_string(b[k]);
    }
    if (a.size() != b.size())
      return "record " + std::to_string(i) + " is " + std::to_string(a.size()) + " bytes from the host driver, " +
             std::to_string(b.size()) + " from the image (table offset " + std::to_string(offset) + ")";
    if (host[i].handle != image[i].handle) return "record " + std::to_string(i) + " has another handle";
    offset += a.size();
  }
  if (host.size() != image.size())
    return "host table has " + std::to_string(host.size()) + " records, the image's " + std::to_string(image.size());
  return {};
}

void ExpectSameTable(const sim::Board& board) {
  sim::BootResult host_result, image_result;
  const auto host = HostTable(board, host_result);
  const auto image = ImageTable(board, image_result);
  ASSERT_FALSE(host.empty());
  EXPECT_EQ(FirstDifference(host, image), "");
  EXPECT_EQ(image_result.entry_status, host_result.entry_status);
  EXPECT_EQ(image_result.callback_ran, host_result.callback_ran);
  EXPECT_EQ(image_result.callback_status, host_result.callback_status);
  EXPECT_TRUE(image_result.summary.leaks.empty());
  EXPECT_EQ(image_result.summary.violations, host_result.summary.violations);
}

TEST(ImageMatchesHost, DefaultBoard) { ExpectSameTable(sim::DefaultBoard()); }

TEST(ImageMatchesHost, EveryBoardFile) {
  size_t boards = 0;
  for (const auto& entry : std::filesystem::directory_iterator(BOARDS_DIR)) {
    if (entry.path().extension() != ".yaml") continue;
    SCOPED_TRACE(entry.path().string());
    ExpectSameTable(sim::LoadBoardFile(entry.path().string()));
    ++boards;
  }
  EXPECT_GT(boards, 0u);
}

TEST(ImageRun, BusyHardwareAddressIsAClearErrorAndNothingRuns) {
  const sim::Board board = sim::DefaultBoard();
  sim::PeLoadResult loaded = sim::LoadPeImageFile(DXE_IMAGE);
  ASSERT_NE(loaded.image, nullptr) << loaded.error;
  // Occupy the page at the configuration window's base.
  void* want = reinterpret_cast<void*>(0x80000000ull);
  void* taken = mmap(want, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  ASSERT_EQ(taken, want);
  sim::BootResult result;
  {
    sim::ImageDriver driver(loaded.image);
    sim::BootedBoard booted = sim::BootBoard(board, driver.Entry());
    result = booted.result;
    EXPECT_EQ(booted.platform->Calls().Get("LocateProtocol"), 0u);
  }
  munmap(taken, 4096);
  EXPECT_EQ(result.entry_status, EFI_LOAD_ERROR);
  EXPECT_FALSE(result.callback_ran);
  ASSERT_FALSE(result.summary.violations.empty());
  EXPECT_NE(result.summary.violations[0].find("0x80000000"), std::string::npos) << result.summary.violations[0];
}
#endif

}  // namespace
