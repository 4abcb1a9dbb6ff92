// Fails each allocation of a whole run in turn (entry and callback on the default board): every run must end
// without a leak, a refused record, a damaged record or any other violation.
#include <gtest/gtest.h>

#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "smbios/entry/driver_entry.h"
#include "smbios/entry/driver_state.h"
#include "tests/support/platform_checks.h"

namespace {

sim::BootedBoard Boot(const sim::Board& board) {
  DriverStateReset();
  return sim::BootBoard(board, &PlatformSmbiosDriverEntry);
}

TEST(AllocationFailureSweep, EveryFailedAllocationEndsCleanly) {
  sim::Board board = sim::DefaultBoard();
  sim::BootedBoard clean = Boot(board);
  ASSERT_TRUE(sim_test::NoViolations(clean.platform->Violations()));
  uint64_t total = clean.result.summary.pool.allocations;
  ASSERT_GT(total, 0u);
  size_t clean_records = clean.result.summary.record_count;
  clean.platform.reset();  // one platform at a time

  for (uint64_t n = 1; n <= total + 1; ++n) {
    board.faults.fail_allocation = n;
    sim::BootedBoard run = Boot(board);
    const sim::RunSummary& s = run.result.summary;
    EXPECT_TRUE(sim_test::NoViolations(run.platform->Violations())) << "allocation " << n << " failed";
    EXPECT_TRUE(s.leaks.empty()) << "allocation " << n;
    EXPECT_TRUE(s.refused_adds.empty()) << "allocation " << n;
    EXPECT_TRUE(run.result.callback_ran) << "allocation " << n;
    EXPECT_LE(s.record_count, clean_records) << "allocation " << n;
    run.platform.reset();
    if (n <= total) {
      EXPECT_EQ(s.pool.failed, 1u) << "allocation " << n;
    }
  }
}

}  // namespace
