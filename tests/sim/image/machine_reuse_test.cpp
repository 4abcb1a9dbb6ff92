// One emulator kept across runs: each image, restored to its snapshot and moved to the next run's platform, gives
// for every input exactly what a fresh emulator gives, whichever input ran on it before (the PEI image: bus
// accesses, statuses, violations; the driver image: table bytes, statuses, violations, pool use, service calls).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "sim/board/table_difference.h"
#include "sim/image/driver_image_run.h"
#include "sim/image/peim_image_run.h"
#include "tools/boardsim/trace_command.h"

namespace {

#ifdef PEI_IMAGE

struct TraceInput {
  std::vector<boardsim::TraceCode> codes;
  sim::TracePlatformConfig config;
};

// Two inputs that differ in codes and platform: the built-in codes split in two halves, the second half on a
// platform whose trace hub is disabled and whose PMC vanishes after a few writes.
std::vector<TraceInput> TraceInputs() {
  const std::vector<boardsim::TraceCode> all = boardsim::BuiltInTraceCodes();
  const size_t half = all.size() / 2;
  boardsim::TraceOptions second;
  second.hub_disabled = true;
  second.pmc_vanishes_after = 3;
  return {{{all.begin(), all.begin() + half}, boardsim::TracePlatformOf({}, 0)},
          {{all.begin() + half, all.end()}, boardsim::TracePlatformOf(second, 0)}};
}

void ExpectSameTrace(const boardsim::TraceRun& alone, const boardsim::TraceRun& reused) {
  EXPECT_EQ(reused.entry_status, alone.entry_status);
  EXPECT_EQ(reused.listeners, alone.listeners);
  EXPECT_EQ(reused.violations, alone.violations);
  EXPECT_EQ(reused.accesses, alone.accesses);
  ASSERT_EQ(reused.results.size(), alone.results.size());
  for (size_t i = 0; i < alone.results.size(); ++i) EXPECT_EQ(reused.results[i].statuses, alone.results[i].statuses);
}

TEST(MachineReuse, ThePeimImageGivesEachInputWhatAFreshMachineGivesInEitherOrder) {
  const std::vector<TraceInput> inputs = TraceInputs();
  std::vector<boardsim::TraceRun> alone;
  for (const TraceInput& in : inputs) {
    std::string error;
    alone.push_back(boardsim::RunTraceImage(in.codes, in.config, PEI_IMAGE, error));
    ASSERT_EQ(error, "");
    ASSERT_FALSE(alone.back().accesses.empty());
  }
  ASSERT_NE(alone[0].accesses, alone[1].accesses);  // the inputs differ where a leftover would show
  for (const std::vector<size_t>& order : {std::vector<size_t>{0, 1, 0}, std::vector<size_t>{1, 0, 1}}) {
    std::unique_ptr<sim::PeimImageRun> reused;
    const sim::PeimImageRun* first = nullptr;
    for (size_t i : order) {
      SCOPED_TRACE("input " + std::to_string(i) + " of order starting with " + std::to_string(order[0]));
      std::string error;
      const boardsim::TraceRun run =
          boardsim::RunTraceImage(inputs[i].codes, inputs[i].config, PEI_IMAGE, error, &reused);
      ASSERT_EQ(error, "");
      ExpectSameTrace(alone[i], run);
      if (first == nullptr) first = reused.get();
      EXPECT_EQ(reused.get(), first);  // the same run, moved
    }
  }
}

#endif

#ifdef DXE_IMAGE

struct Boot {
  std::vector<sim::SmbiosRecordView> table;
  sim::BootResult result;
};

Boot BootWith(sim::EmulatedDriver& driver, const sim::Board& board) {
  driver.ClearCalls();
  sim::BootedBoard booted = sim::BootBoard(board, driver.Entry());
  for (const sim::GuestCallResult& call : driver.Calls()) EXPECT_TRUE(call.completed) << call.fault;
  return {booted.platform->Smbios().Records(), booted.result};
}

void ExpectSameBoot(const Boot& alone, const Boot& reused) {
  EXPECT_EQ(sim::FirstTableDifference(alone.table, reused.table), "");
  EXPECT_EQ(reused.result.entry_status, alone.result.entry_status);
  EXPECT_EQ(reused.result.callback_ran, alone.result.callback_ran);
  EXPECT_EQ(reused.result.callback_status, alone.result.callback_status);
  EXPECT_EQ(reused.result.summary.violations, alone.result.summary.violations);
  EXPECT_EQ(reused.result.summary.leaks, alone.result.summary.leaks);
  EXPECT_EQ(reused.result.summary.refused_adds, alone.result.summary.refused_adds);
  EXPECT_EQ(reused.result.summary.pool.allocations, alone.result.summary.pool.allocations);
  EXPECT_EQ(reused.result.summary.pool.peak_bytes, alone.result.summary.pool.peak_bytes);
  EXPECT_EQ(reused.result.summary.calls, alone.result.summary.calls);
}

std::unique_ptr<sim::EmulatedDriver> LoadDriver() {
  std::string error;
  std::unique_ptr<sim::EmulatedDriver> driver = sim::EmulatedDriver::Load(DXE_IMAGE, error);
  EXPECT_NE(driver, nullptr) << error;
  return driver;
}

TEST(MachineReuse, TheDriverImageGivesEachBoardWhatAFreshMachineGivesInEitherOrder) {
  const std::vector<sim::Board> boards = {sim::DefaultBoard(),
                                          sim::LoadBoardFile(std::string(BOARDS_DIR) + "/failing_platform.yaml")};
  std::vector<Boot> alone;
  for (const sim::Board& board : boards) {
    std::unique_ptr<sim::EmulatedDriver> driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    alone.push_back(BootWith(*driver, board));
    ASSERT_FALSE(alone.back().table.empty());
  }
  ASSERT_NE(sim::FirstTableDifference(alone[0].table, alone[1].table), "");  // a leftover would show
  for (const std::vector<size_t>& order : {std::vector<size_t>{0, 1, 0}, std::vector<size_t>{1, 0, 1}}) {
    std::unique_ptr<sim::EmulatedDriver> driver = LoadDriver();
    ASSERT_NE(driver, nullptr);
    for (size_t i : order) {
      SCOPED_TRACE("board " + std::to_string(i) + " of order starting with " + std::to_string(order[0]));
      ExpectSameBoot(alone[i], BootWith(*driver, boards[i]));
    }
  }
}

#endif

}  // namespace
