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

// Returns the image's table.
std::vector<sim::SmbiosRecordView> ExpectSameTable(const sim::Board& board, const std::vector<uint8_t>* bytes = nullptr,
                                                   std::vector<sim::ReservedRange>* windows = nullptr,
                                                   uint64_t* placed = nullptr) {
  sim::BootResult host_result, image_result;
  const auto host = HostTable(board, host_result);
  const auto image = ImageTable(board, image_result, bytes, windows, placed);
  EXPECT_FALSE(host.empty());
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
  return image;
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

sim::PciFunctionSpec& FunctionAt(sim::Board& board, uint8_t bus, uint8_t device, uint8_t function) {
  for (sim::PciFunctionSpec& f : board.pci) {
    if (f.location.bus == bus && f.location.device == device && f.location.function == function) return f;
  }
  ADD_FAILURE() << "no function at " << int(bus) << ":" << int(device) << "." << int(function);
  return board.pci.front();
}

// The onboard LAN's VPD image with the "V2" keyword's data replaced by `data` (same length) or, when `data` is
// empty, the keyword's name changed so that no "V2" is left.
void SetLanMacKeyword(sim::Board& board, const std::string& data) {
  for (sim::PciCapabilitySpec& cap : FunctionAt(board, 0x4B, 0, 0).capabilities) {
    if (cap.kind != sim::PciCapabilitySpec::Kind::Vpd) continue;
    std::vector<uint8_t>& image = cap.vpd.image;
    for (size_t i = 0; i + 3 + 12 <= image.size(); ++i) {
      if (image[i] != 'V' || image[i + 1] != '2' || image[i + 2] != 12) continue;
      if (data.empty()) {
        image[i + 1] = '3';
      } else {
        ASSERT_EQ(data.size(), 12u);
        std::copy(data.begin(), data.end(), image.begin() + i + 3);
      }
      return;
    }
  }
  ADD_FAILURE() << "the onboard LAN has no VPD with a V2 keyword";
}

// The node (last six bytes) of the system UUID in the type 1 record.
std::vector<uint8_t> UuidNode(const std::vector<sim::SmbiosRecordView>& table) {
  for (const sim::SmbiosRecordView& r : table) {
    if (r.type == 1 && r.bytes.size() >= 0x18) return {r.bytes.begin() + 0x12, r.bytes.begin() + 0x18};
  }
  return {};
}

// The chipset network controller of a kind the driver has no register layout for: the MAC address is then the
// onboard LAN's VPD "V2" keyword. Each row takes that path another way; the image's table is the host build's,
// with the UUID node the row expects.
TEST(ImageMatchesHost, TheOnboardMacFromTheLanVpdKeyword) {
  struct Row {
    const char* name;
    void (*change)(sim::Board&);
    std::vector<uint8_t> node;
  };
  const Row rows[] = {
      {"digits and capitals", [](sim::Board&) {}, {0x02, 0x5E, 0x10, 0x20, 0x30, 0x41}},
      {"lower-case letters",
       [](sim::Board& b) { SetLanMacKeyword(b, "0a1b2c3d4e5f"); },
       {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}},
      {"mixed case", [](sim::Board& b) { SetLanMacKeyword(b, "Aa09fF7e1C3d"); }, {0xAA, 0x09, 0xFF, 0x7E, 0x1C, 0x3D}},
      {"no V2 keyword: the node stays zero", [](sim::Board& b) { SetLanMacKeyword(b, ""); }, {0, 0, 0, 0, 0, 0}},
      {"no VPD capability",
       [](sim::Board& b) { FunctionAt(b, 0x4B, 0, 0).capabilities.resize(1); },
       {0, 0, 0, 0, 0, 0}},
      {"no onboard LAN", [](sim::Board& b) { FunctionAt(b, 0x4B, 0, 0).class_code = 0x028000; }, {0, 0, 0, 0, 0, 0}},
      {"a port-register device of another vendor",
       [](sim::Board& b) {
         FunctionAt(b, 0x02, 0, 0).vendor_id = 0x1234;
         FunctionAt(b, 0x02, 0, 0).device_id = 0x3E00;
       },
       {0x02, 0x5E, 0x10, 0x20, 0x30, 0x41}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    sim::Board board = sim::DefaultBoard();
    FunctionAt(board, 0x02, 0, 0).device_id = 0x1572;  // listed neither for port nor receive-address registers
    row.change(board);
    EXPECT_EQ(UuidNode(ExpectSameTable(board)), row.node);
  }
}

// The card in JSLOT2 of every class the slot records tell apart, and of none: the image classifies it as the host
// build does, to the same type 9 and type 40 records.
TEST(ImageMatchesHost, ASlotCardOfEachClass) {
  struct Row {
    const char* name;
    uint16_t vendor_id, device_id;
    uint32_t class_code;
  };
  const Row rows[] = {
      {"accelerator by its vendor", 0x10DE, 0x2330, 0x030200},
      {"fabric card", 0x7A3B, 0x1600, 0x020700},
      {"storage controller", 0x1000, 0x00E6, 0x010700},
      {"storage controller of the excluded device", 0x1000, 0x006E, 0x010700},
      {"board card", 0x1E6D, 0x5E19, 0x088000},
      {"no known kind", 0x1234, 0x5678, 0x088000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    sim::Board board = sim::DefaultBoard();
    sim::PciFunctionSpec& card = FunctionAt(board, 0x18, 0, 0);
    card.vendor_id = row.vendor_id;
    card.device_id = row.device_id;
    card.class_code = row.class_code;
    ExpectSameTable(board);
  }
}

// Each protocol the driver looks up missing: the image ends or goes on as the host build does.
TEST(ImageMatchesHost, EachProtocolAbsent) {
  for (const char* protocol : {"smbios", "pcd", "hii", "registry", "loaded_image", "ipmi", "pci_io", "smm_base2"}) {
    SCOPED_TRACE(protocol);
    sim::Board board = sim::DefaultBoard();
    board.faults.absent_protocols = {protocol};
    ExpectSameTable(board);
  }
}

// The BMC's answers for power supply 1 scripted: busy past every send of an attempt, failing every attempt, a
// damaged image on every read, a transport error. The image gives up, retries and publishes as the host build does.
TEST(ImageMatchesHost, EachWayTheBmcFailsASupply) {
  using sim::BmcActionKind;
  struct Row {
    const char* name;
    uint8_t chunk;
    sim::BmcAction action;
  };
  const Row rows[] = {
      {"busy for every send of an attempt", 1, {BmcActionKind::Busy, 200}},
      {"an error completion on every attempt", 2, {BmcActionKind::Completion, 20, 0xC1}},
      {"a damaged chunk on every read", 3, {BmcActionKind::Corrupt, 20}},
      {"a transport error on every attempt", 4, {BmcActionKind::TransportError, 20}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    sim::Board board = sim::DefaultBoard();
    ASSERT_TRUE(board.bmc);
    board.bmc->supplies.at(1).scripts[row.chunk] = {row.action};
    ExpectSameTable(board);
  }
}

// Each allocation of a run failing in turn, alone and with every one after it, outside and inside SMM (where the
// setup buffers come from the SMM pool): the image takes each error path as the host build does, to the same
// table, statuses and pool figures.
TEST(ImageMatchesHost, EachAllocationFailingInTurn) {
  for (bool in_smm : {false, true}) {
    sim::Board board = sim::DefaultBoard();
    ASSERT_TRUE(board.smm);
    board.smm->in_smm = in_smm;
    sim::BootResult clean;
    HostTable(board, clean);
    const uint64_t total = clean.summary.pool.allocations;
    ASSERT_GT(total, 10u);
    for (uint64_t n = 1; n <= total; ++n) {
      SCOPED_TRACE(std::string(in_smm ? "in SMM" : "outside SMM") + ", allocation " + std::to_string(n));
      sim::Board alone = board;
      alone.faults.fail_allocation = n;
      ExpectSameTable(alone);
      sim::Board from = board;
      from.faults.fail_allocations_from = n;
      ExpectSameTable(from);
    }
  }
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
