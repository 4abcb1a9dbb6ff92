// The publishing callback on the built-in default board, and how it grows with pre-existing records of a
// type it removes (cooling devices, type 27): SMBIOS protocol calls, configuration-space accesses (ECAM
// reads and writes, PCI I/O reads), the virtual time it adds and the host time it takes. Under callgrind
// (collection toggled on at PublishBoardSmbios, in a writable directory) it prints the instructions of
// each callback (driver and simulated platform) and leaves one dump per board for the module's share.
#include <valgrind/callgrind.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/callgrind_dump.h"
#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "smbios/entry/driver_entry.h"

namespace {

constexpr int kTimedRepeats = 11;
const int kExtraRecords[] = {0, 1, 10, 100, 1000};
constexpr uint64_t kEcamSize = 256ull << 20;  // 256 buses of 1 MiB

struct Callback {
  uint64_t add = 0, remove = 0, get_next = 0, ecam_reads = 0, ecam_writes = 0, pci_io_reads = 0;
  uint64_t virtual_us = 0;
  size_t type27_left = 0;
  bool clean = true;
  double host_ns = 0;
};

// A cooling-device record (SMBIOS 2.2 layout): no temperature probe, a fan in OK state, speed unknown.
sim::BoardSmbiosRecord CoolingDevice() {
  sim::BoardSmbiosRecord r;
  r.formatted = {27, 0x0E, 0x00, 0x00, 0xFF, 0xFF, 0x63, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80};
  r.origin = "bench";
  return r;
}

sim::Board BoardWith(int extra) {
  sim::Board board = sim::DefaultBoard();
  for (int i = 0; i < extra; ++i) board.smbios.push_back(CoolingDevice());
  return board;
}

// One boot: the entry point, then the callback alone is measured.
Callback RunOnce(const sim::Board& board, bool dump, const std::string& name) {
  sim::DxePlatform platform;
  sim::ApplyBoard(board, platform);
  Callback c;
  if (PlatformSmbiosDriverEntry(platform.ImageHandle(), platform.SystemTable()) != EFI_SUCCESS) c.clean = false;
  const sim::CallCounter before = platform.Calls();
  const uint64_t clock = platform.Clock().NowMicroseconds();
  platform.Bus().ClearRecorded();
  platform.Bus().SetRecording(true);
  if (dump) CALLGRIND_ZERO_STATS;
  auto start = std::chrono::steady_clock::now();
  const sim::CallbackOutcome outcome = platform.DeclareEnumerationComplete();
  c.host_ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  if (dump) CALLGRIND_DUMP_STATS_AT(name.c_str());
  platform.Bus().SetRecording(false);
  const sim::CallCounter& after = platform.Calls();
  c.add = after.Get("Smbios.Add") - before.Get("Smbios.Add");
  c.remove = after.Get("Smbios.Remove") - before.Get("Smbios.Remove");
  c.get_next = after.Get("Smbios.GetNext") - before.Get("Smbios.GetNext");
  c.pci_io_reads = after.Get("PciIo.Pci.Read") - before.Get("PciIo.Pci.Read");
  for (const sim::MmioAccess& a : platform.Bus().Recorded()) {
    if (a.address < board.pcd.ecam_base || a.address >= board.pcd.ecam_base + kEcamSize) continue;
    ++(a.write ? c.ecam_writes : c.ecam_reads);
  }
  c.virtual_us = platform.Clock().NowMicroseconds() - clock;
  const sim::RunSummary summary = platform.FinishRun();
  auto left = summary.records_by_type.find(27);
  c.type27_left = left == summary.records_by_type.end() ? 0 : left->second;
  c.clean = c.clean && outcome.ran && summary.violations.empty() && summary.leaks.empty();
  return c;
}

}  // namespace

int main() {
  const bool callgrind = RUNNING_ON_VALGRIND;
  if (callgrind) {
    printf("Instructions of the callback (callgrind; driver and simulated platform):\n");
  } else {
    printf("%-8s %5s %7s %8s %9s %11s %12s %13s %11s %15s\n", "type 27", "Adds", "Removes", "GetNexts", "ECAM rd",
           "ECAM wr", "PCI I/O rd", "virtual us", "27s left", "host us median");
  }
  int status = 0, part = 0;
  for (int extra : kExtraRecords) {
    const sim::Board board = BoardWith(extra);
    if (callgrind) {
      const std::string name = "records-" + std::to_string(extra);
      RunOnce(board, true, name);
      printf("  %4d pre-existing type 27: %12llu\n", extra, bench::CallgrindDumpTotal(++part));
      continue;
    }
    std::vector<Callback> runs;
    for (int i = 0; i < kTimedRepeats; ++i) runs.push_back(RunOnce(board, false, ""));
    std::vector<double> times;
    for (const Callback& r : runs) times.push_back(r.host_ns);
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    const Callback& c = runs.front();
    printf("%-8d %5llu %7llu %8llu %9llu %11llu %12llu %13llu %11zu %15.1f\n", extra,
           static_cast<unsigned long long>(c.add), static_cast<unsigned long long>(c.remove),
           static_cast<unsigned long long>(c.get_next), static_cast<unsigned long long>(c.ecam_reads),
           static_cast<unsigned long long>(c.ecam_writes), static_cast<unsigned long long>(c.pci_io_reads),
           static_cast<unsigned long long>(c.virtual_us), c.type27_left, times[times.size() / 2] / 1000);
    if (!c.clean || c.type27_left != 0) {
      printf("  %d pre-existing: the run was not clean (violations, leaks, or type 27 records left)\n", extra);
      status = 1;
    }
  }
  return status;
}
