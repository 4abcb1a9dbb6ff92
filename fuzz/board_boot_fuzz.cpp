// The whole driver on a fuzzed board (fuzz/support/board_mutation.h): driver entry, enumeration complete and
// the callback, as boardsim runs them. Invariants: no simulator violation (no access outside a device, no
// malformed or damaged record, no leak), and on a board without faults one type 9 record per slot, no probe record (types 26 to 29) and at most two type 39 records.
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "fuzz/support/board_mutation.h"
#include "fuzz/support/dxe_run.h"
#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "sim/board/board_boot.h"
#include "smbios/board/slot_table.h"
#include "smbios/entry/driver_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  const fuzz::FuzzedBoard fuzzed = fuzz::MakeBoard(in);
  const sim::Board& board = fuzzed.board;
  const bool faults = fuzzed.faults;

  DriverStateReset();
  sim::DxePlatform platform;
  try {
    sim::ApplyBoard(board, platform);
  } catch (const std::exception&) {
    return 0;  // not a board (functions that clash)
  }
  sim::BootResult result = sim::RunDxeDriver(platform, PlatformSmbiosDriverEntry);

  std::vector<std::string> tolerated;
  if (fuzzed.made.poked) tolerated.push_back("ignored, as hardware does");
  sim::RunSummary summary = fuzz::RequireCleanRun(platform, tolerated);
  FUZZ_REQUIRE(summary.leaks.empty() && result.summary.leaks.empty(), "pool leak");
  if (!faults) {
    FUZZ_REQUIRE(result.callback_ran, "the callback ran");
    auto count = [&](uint8_t type) {
      auto it = summary.records_by_type.find(type);
      return it == summary.records_by_type.end() ? size_t{0} : it->second;
    };
    FUZZ_REQUIRE(count(9) == SlotTableCapacity, std::to_string(count(9)) + " type 9 records");
    for (uint8_t t = 26; t <= 29; ++t) FUZZ_REQUIRE(count(t) == 0, "a type " + std::to_string(t) + " record remains");
    FUZZ_REQUIRE(count(39) <= 2, std::to_string(count(39)) + " type 39 records");
  }
  return 0;
}
