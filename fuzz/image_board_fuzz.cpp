// The driver image in the emulator against the host-linked driver, on the same fuzzed board
// (fuzz/support/board_mutation.h): random PCI functions and VPD, BMC FRU data and silence, setup variables,
// PCD values, an allocation failure, absent protocols. Invariant: both leave the same table (bytes and
// handles, record by record), return the same statuses, make the same service calls, use the pool alike and
// leave the same violations; the image never faults. One loaded driver, and so one emulator, serves every input
// (restored to its snapshot before each boot), and the image's blocks are fuzzer feedback.
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "fuzz/support/board_mutation.h"
#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "fuzz/support/image_block_counters.h"
#include "sim/board/board_boot.h"
#include "sim/board/table_difference.h"
#include "sim/image/driver_image_run.h"
#include "smbios/entry/driver_entry.h"
#include "smbios/entry/driver_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = std::getenv("DXE_IMAGE_FILE");
  if (path == nullptr) path = DXE_IMAGE;
  fuzz::CountImageBlocks();
  fuzz::FuzzInput in(data, size);
  const fuzz::FuzzedBoard fuzzed = fuzz::MakeBoard(in);

  std::string error;
  static std::unique_ptr<sim::EmulatedDriver> driver = sim::EmulatedDriver::Load(path, error);
  FUZZ_REQUIRE(driver != nullptr, error);
  driver->ClearCalls();
  sim::BootedBoard host, image;
  try {
    DriverStateReset();
    host = sim::BootBoard(fuzzed.board, &PlatformSmbiosDriverEntry);
  } catch (const std::exception&) {
    return 0;  // not a board (functions that clash)
  }
  image = sim::BootBoard(fuzzed.board, driver->Entry());
  for (const sim::GuestCallResult& call : driver->Calls()) FUZZ_REQUIRE(call.completed, call.fault);

  const std::string difference =
      sim::FirstTableDifference(host.platform->Smbios().Records(), image.platform->Smbios().Records());
  FUZZ_REQUIRE(difference.empty(), difference);
  const sim::BootResult& h = host.result;
  const sim::BootResult& e = image.result;
  FUZZ_REQUIRE(e.entry_status == h.entry_status, "entry status");
  FUZZ_REQUIRE(e.callback_ran == h.callback_ran && e.callback_status == h.callback_status, "callback status");
  FUZZ_REQUIRE(e.summary.violations == h.summary.violations,
               e.summary.violations.empty() ? std::string("the host saw a violation") : e.summary.violations.front());
  FUZZ_REQUIRE(e.summary.leaks == h.summary.leaks, "pool leaks");
  FUZZ_REQUIRE(e.summary.refused_adds == h.summary.refused_adds, "refused records");
  FUZZ_REQUIRE(e.summary.pool.allocations == h.summary.pool.allocations &&
                   e.summary.pool.frees == h.summary.pool.frees &&
                   e.summary.pool.peak_bytes == h.summary.pool.peak_bytes,
               "pool use");
  FUZZ_REQUIRE(e.summary.calls == h.summary.calls, "service calls");
  FUZZ_REQUIRE(e.summary.virtual_time_us == h.summary.virtual_time_us, "virtual time");
  return 0;
}
