// Fails each allocation of a whole run in turn (entry and callback), and every allocation from each point on:
// every run must end without a leak, a refused or damaged record, a dangling type 40 or any other violation.
// Swept on the default board (BMC with two supplies, the ten setup variables, the PCI slots and onboard
// devices) outside SMM and inside SMM, where the setup buffers come from the SMM pool.
#include <gtest/gtest.h>

#include "sim/board/board_file.h"
#include "tests/smbios/entry/fault_sweep.h"

namespace {

using fault_sweep::BootDriver;
using fault_sweep::EndedCleanly;

struct BoardVariant {
  const char* name;
  bool in_smm;
};

class AllocationFailureSweep : public ::testing::TestWithParam<BoardVariant> {
 protected:
  void SetUp() override {
    board = sim::DefaultBoard();
    ASSERT_TRUE(board.smm);
    board.smm->in_smm = GetParam().in_smm;
    sim::BootedBoard clean = BootDriver(board);
    ASSERT_TRUE(EndedCleanly(clean, "clean run"));
    const sim::RunSummary& s = clean.result.summary;
    // The sweep reaches every part of the driver that allocates: setup load, string package, slots with their
    // type 40 and VPD, power supplies over the BMC, onboard devices.
    ASSERT_EQ(s.records_by_type.count(39) ? s.records_by_type.at(39) : 0, 2u);
    ASSERT_EQ(s.records_by_type.count(9) ? s.records_by_type.at(9) : 0, 4u);
    ASSERT_EQ(s.records_by_type.count(41) ? s.records_by_type.at(41) : 0, 2u);
    ASSERT_GE(s.calls.count("GetVariable") ? s.calls.at("GetVariable") : 0, 10u);
    ASSERT_EQ(s.calls.count("SmmAllocatePool") ? s.calls.at("SmmAllocatePool") > 0 : false, GetParam().in_smm);
    total = s.pool.allocations;
    ASSERT_GT(total, 0u);
    clean_records = s.record_count;
  }

  // Runs the board for n = 1 .. total + 1 (the last fails nothing): `set(n)` puts the fault on the board,
  // `check(n, summary)` judges the pool figures of the run.
  template <class Set, class Check>
  void Sweep(const std::string& sweep, Set set, Check check) {
    for (uint64_t n = 1; n <= total + 1; ++n) {
      SCOPED_TRACE(sweep + ": n = " + std::to_string(n));
      set(n);
      sim::BootedBoard run = BootDriver(board);
      const sim::RunSummary& s = run.result.summary;
      EXPECT_TRUE(EndedCleanly(run, sweep));
      EXPECT_TRUE(run.result.callback_ran);
      EXPECT_LE(s.record_count, clean_records);
      check(n, s);
    }
    fault_sweep::CountPoints(sweep + ", " + GetParam().name, total + 1);
  }

  sim::Board board;
  uint64_t total = 0;
  size_t clean_records = 0;
};

TEST_P(AllocationFailureSweep, EachAllocationFailingAloneEndsCleanly) {
  Sweep(
      "allocation failing alone", [&](uint64_t n) { board.faults.fail_allocation = n; },
      [&](uint64_t n, const sim::RunSummary& s) { EXPECT_EQ(s.pool.failed, n <= total ? 1u : 0u); });
}

TEST_P(AllocationFailureSweep, EveryAllocationFromEachPointOnFailingEndsCleanly) {
  Sweep(
      "allocations failing from a point on", [&](uint64_t n) { board.faults.fail_allocations_from = n; },
      [&](uint64_t n, const sim::RunSummary& s) { EXPECT_EQ(s.pool.allocations - s.pool.failed, n - 1); });
}

INSTANTIATE_TEST_SUITE_P(DefaultBoard, AllocationFailureSweep,
                         ::testing::Values(BoardVariant{"outside SMM", false}, BoardVariant{"inside SMM", true}),
                         [](const auto& info) { return std::string(info.param.in_smm ? "InSmm" : "OutsideSmm"); });

}  // namespace
