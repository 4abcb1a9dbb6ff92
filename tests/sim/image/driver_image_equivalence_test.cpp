// The built driver image, run in the emulator, publishes byte for byte the table of the host-linked driver on
// the default board and on every shipped board file, with the same handles, statuses, violations, pool use and
// service calls, also when the hardware's addresses are taken in this process or the image is linked over them.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "firmware/fv/pe_rebase.h"

#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "sim/board/table_difference.h"
#include "sim/image/driver_image_run.h"
#include "tests/support/driver_test_platform.h"

namespace {

#ifdef DXE_IMAGE
std::vector<sim::SmbiosRecordView> HostTable(const sim::Board& board, sim::BootResult& result) {
  sim::BootedBoard booted = driver_test::BootDriver(board);
  result = booted.result;
  return booted.platform->Smbios().Records();
}

std::vector<uint8_t> DriverBytes() {
  std::ifstream in(DXE_IMAGE, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The image run on the board; with `bytes` that image instead of the built one. `placed` gets where it ran and
// the platform's bus regions.
std::vector<sim::SmbiosRecordView> ImageTable(const sim::Board& board, sim::BootResult& result,
                                              const std::vector<uint8_t>* bytes = nullptr,
                                              std::vector<sim::ReservedRange>* windows = nullptr,
                                              uint64_t* placed = nullptr) {
  std::string error;
  std::unique_ptr<sim::EmulatedDriver> driver =
      bytes ? sim::EmulatedDriver::LoadBytes(*bytes, "rebased", error) : sim::EmulatedDriver::Load(DXE_IMAGE, error);
  EXPECT_NE(driver, nullptr) << error;
  if (!driver) return {};
  sim::BootedBoard booted = sim::BootBoard(board, driver->Entry());
  result = booted.result;
  EXPECT_EQ(driver->Calls().size(), result.callback_ran ? 2u : 1u);
  if (windows != nullptr) *windows = sim::BusRanges(booted.platform->Bus());
  if (placed != nullptr) {
    *placed = driver->Image().Base();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(booted.platform->LoadedImage()->ImageBase), *placed);
  }
  return booted.platform->Smbios().Records();  // the platform goes before the driver it ran
}

void ExpectSameTable(const sim::Board& board, const std::vector<uint8_t>* bytes = nullptr,
                     std::vector<sim::ReservedRange>* windows = nullptr, uint64_t* placed = nullptr) {
  sim::BootResult host_result, image_result;
  const auto host = HostTable(board, host_result);
  const auto image = ImageTable(board, image_result, bytes, windows, placed);
  ASSERT_FALSE(host.empty());
  EXPECT_EQ(sim::FirstTableDifference(host, image), "");
  EXPECT_EQ(image_result.entry_status, host_result.entry_status);
  EXPECT_EQ(image_result.callback_ran, host_result.callback_ran);
  EXPECT_EQ(image_result.callback_status, host_result.callback_status);
  EXPECT_EQ(image_result.summary.leaks, host_result.summary.leaks);
  EXPECT_EQ(image_result.summary.violations, host_result.summary.violations);
  EXPECT_EQ(image_result.summary.refused_adds, host_result.summary.refused_adds);
  EXPECT_EQ(image_result.summary.pool.allocations, host_result.summary.pool.allocations);
  EXPECT_EQ(image_result.summary.pool.frees, host_result.summary.pool.frees);
  EXPECT_EQ(image_result.summary.pool.peak_bytes, host_result.summary.pool.peak_bytes);
  EXPECT_EQ(image_result.summary.pool.peak_buffers, host_result.summary.pool.peak_buffers);
  EXPECT_EQ(image_result.summary.calls, host_result.summary.calls);
  EXPECT_EQ(image_result.summary.virtual_time_us, host_result.summary.virtual_time_us);
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

// The driver linked at the base of each window of the default board's bus (configuration window, BARs) and of the
// flash below 4 GiB is placed clear of them all, relocated, and publishes the same table.
TEST(ImageMatchesHost, ADriverLinkedOverEachWindowIsRelocatedClearOfThemAll) {
  std::vector<sim::ReservedRange> windows;
  ExpectSameTable(sim::DefaultBoard(), nullptr, &windows);
  ASSERT_GE(windows.size(), 2u);  // the configuration window and at least one BAR
  windows.push_back({0xFFF00000, 0x100000, "flash"});
  EXPECT_EQ(windows.front().base, 0x80000000u);
  for (const sim::ReservedRange& w : std::vector<sim::ReservedRange>(windows)) {
    SCOPED_TRACE(w.name + " at " + std::to_string(w.base));
    std::vector<uint8_t> bytes = DriverBytes();
    std::string error;
    ASSERT_TRUE(fv::RebaseImage(bytes, w.base, error)) << error;
    uint64_t placed = 0;
    std::vector<sim::ReservedRange> seen;
    ExpectSameTable(sim::DefaultBoard(), &bytes, &seen, &placed);
    seen.push_back(windows.back());
    const sim::ReservedRange* over = sim::OverlappedRange(placed, pe::ReadImage(bytes).Value->SizeOfImage, seen);
    EXPECT_EQ(over, nullptr) << "placed at " << placed << " over " << over->name;
    EXPECT_NE(placed, w.base);
  }
}

// The configuration window at low addresses, among them where the emulator's own below-4-GiB memory (stack, trap
// slots, tables) lands when nothing is in the way: that memory moves off the window, and the table is the same.
TEST(ImageMatchesHost, ABoardWithItsConfigurationWindowAtALowAddressPublishesTheSameTable) {
  for (uint64_t base : {0x40000000ull, 0x30000000ull, 0x10000000ull, 0x50000000ull, 0x60000000ull}) {
    SCOPED_TRACE(base);
    sim::Board board = sim::DefaultBoard();
    board.pcd.ecam_base = base;
    std::vector<sim::ReservedRange> windows;
    uint64_t placed = 0;
    ExpectSameTable(board, nullptr, &windows, &placed);
    ASSERT_FALSE(windows.empty());
    EXPECT_EQ(windows.front().base, base);
  }
}

TEST(ImageMatchesHost, HardwareAddressesTakenInThisProcessDoNotMatterToTheEmulatedImage) {
  // The page at the configuration window's base is host memory now; the image still reaches the window.
  void* want = reinterpret_cast<void*>(0x80000000ull);
  void* taken = mmap(want, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  if (taken != want)
    GTEST_SKIP() << "the address is taken already (as under AddressSanitizer): the other tests cover it";
  ExpectSameTable(sim::DefaultBoard());
  munmap(taken, 4096);
}
#endif

}  // namespace
