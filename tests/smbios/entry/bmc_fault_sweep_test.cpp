// The default board's BMC misbehaving on each chunk of each power supply: busy, every error completion code, a
// transport error of each kind, silence, corrupted data, each repeated just below and at the driver's retry
// limit; whole supplies silent or unknown to the BMC. Every run ends cleanly (see fault_sweep.h) with the
// BMC's script used up and two type 39 records. A fault the retries absorb leaves the table exactly as a clean
// run does; one they do not changes only the faulted supply's record, which comes from the FRU cache variable
// when the BMC had answered and the cache holds an image.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/board/board_file.h"
#include "sim/dxe/variable_store.h"
#include "smbios/records/power_supply_fru_read.h"
#include "tests/smbios/entry/fault_sweep.h"
#include "uefi/status.h"

namespace {

using fault_sweep::BootDriver;
using fault_sweep::EndedCleanly;
using sim::BmcActionKind;

struct Fault {
  std::string name;
  sim::BmcAction action;  // count filled per run
  size_t limit;           // sends of this kind on one chunk after which the driver gives up on the supply
  bool answers;           // the driver counts the BMC as having responded
};

std::vector<Fault> Faults() {
  std::vector<Fault> faults;
  faults.push_back({"busy", {BmcActionKind::Busy}, FruChunkBusySends, true});
  for (uint8_t code : {0xC1, 0xC2, 0xC3, 0xC7, 0xC9, 0xCA, 0xCB, 0xCC, 0xCE, 0xD5, 0xFF}) {
    sim::BmcAction a{BmcActionKind::Completion};
    a.completion_code = code;
    char name[24];
    std::snprintf(name, sizeof name, "completion 0x%02X", code);
    faults.push_back({name, a, FruChunkAttempts, false});
  }
  for (EFI_STATUS status : {EFI_DEVICE_ERROR, EFI_TIMEOUT, EFI_NOT_READY, EFI_UNSUPPORTED, EFI_INVALID_PARAMETER}) {
    sim::BmcAction a{BmcActionKind::TransportError};
    a.status = status;
    faults.push_back({"transport error " + std::to_string(status & 0xFF), a, FruChunkAttempts, false});
  }
  faults.push_back({"silence", {BmcActionKind::Silence}, FruChunkAttempts, false});
  faults.push_back({"corrupt", {BmcActionKind::Corrupt}, FruImageReads, true});
  return faults;
}

class BmcFaultSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    board = sim::DefaultBoard();
    ASSERT_TRUE(board.bmc);
    sim::BootedBoard clean = BootDriver(board);
    ASSERT_TRUE(EndedCleanly(clean, "clean run"));
    clean_table = fault_sweep::TableBytes(clean);
    clean_supplies = fault_sweep::RecordsOfType(clean, 39);
    ASSERT_EQ(clean_supplies.size(), 2u);
    // The FRU cache variables the clean run wrote, for the runs that start with them.
    for (const sim::StoredVariable& v : sim::PlatformVariableStore(*clean.platform).All()) {
      if (v.written) cache.push_back({v.name, v.vendor, v.attributes, v.data, "clean run"});
    }
    ASSERT_EQ(cache.size(), 2u);
  }

  // Runs the board with `count` sends of the fault on one chunk of one supply and checks the run.
  void RunOne(const Fault& fault, uint8_t supply, uint8_t chunk, size_t count, bool cached) {
    sim::Board faulted = board;
    if (cached) faulted.variables.list.insert(faulted.variables.list.end(), cache.begin(), cache.end());
    sim::BmcAction step = fault.action;
    step.count = static_cast<uint32_t>(count);
    faulted.bmc->supplies.at(supply).scripts[chunk].push_back(step);
    const std::string what = fault.name + " x" + std::to_string(count) + " on supply " + std::to_string(supply) +
                             " chunk " + std::to_string(chunk) + (cached ? " with the FRU cache" : "");
    sim::BootedBoard run = BootDriver(faulted);
    ++points;
    ASSERT_TRUE(EndedCleanly(run, what));
    std::vector<std::vector<uint8_t>> supplies = fault_sweep::RecordsOfType(run, 39);
    ASSERT_EQ(supplies.size(), 2u) << what;
    const bool recovered = count < fault.limit;
    const bool responded = fault.answers || chunk > 1;
    if (recovered || (cached && responded)) {
      EXPECT_EQ(fault_sweep::TableBytes(run), clean_table) << what;
      return;
    }
    EXPECT_EQ(supplies[2 - supply], clean_supplies[2 - supply]) << what;
    // No answer at all: the placeholder record. (An answered but bad image without a cache is decoded as read.)
    if (!responded) {
      EXPECT_NE(supplies[supply - 1], clean_supplies[supply - 1]) << what;
    }
  }

  sim::Board board;
  std::vector<std::vector<uint8_t>> clean_table;
  std::vector<std::vector<uint8_t>> clean_supplies;
  std::vector<sim::BoardVariable> cache;
  size_t points = 0;
};

class BmcChunkFaultSweep : public BmcFaultSweep, public ::testing::WithParamInterface<Fault> {};

TEST_P(BmcChunkFaultSweep, OnEachChunkOfEachSupplyBelowAndAtTheRetryLimit) {
  const Fault& fault = GetParam();
  for (uint8_t supply = 1; supply <= 2; ++supply) {
    for (uint8_t chunk = 1; chunk <= 4; ++chunk) {
      for (size_t count : {size_t{1}, fault.limit - 1, fault.limit}) {
        for (bool cached : {false, true}) RunOne(fault, supply, chunk, count, cached);
      }
    }
  }
  fault_sweep::CountPoints("BMC " + fault.name + " (supply x chunk x count x cache)", points);
}

INSTANTIATE_TEST_SUITE_P(DefaultBoard, BmcChunkFaultSweep, ::testing::ValuesIn(Faults()), [](const auto& info) {
  std::string name;
  for (char c : info.param.name) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
});

// A supply that never answers, or one the BMC does not know (completion 0xCB on every send): placeholder or
// cached record, never a stall beyond the retry budget.
TEST_F(BmcFaultSweep, SilentOrUnknownSupplies) {
  for (uint8_t supply = 1; supply <= 2; ++supply) {
    for (bool unknown : {false, true}) {
      sim::Board faulted = board;
      if (unknown) {
        faulted.bmc->supplies.erase(supply);
      } else {
        faulted.bmc->supplies.at(supply).silent = true;
      }
      const std::string what = "supply " + std::to_string(supply) + (unknown ? " unknown" : " silent");
      sim::BootedBoard run = BootDriver(faulted);
      ++points;
      ASSERT_TRUE(EndedCleanly(run, what));
      std::vector<std::vector<uint8_t>> supplies = fault_sweep::RecordsOfType(run, 39);
      ASSERT_EQ(supplies.size(), 2u) << what;
      EXPECT_NE(supplies[supply - 1], clean_supplies[supply - 1]) << what;
      EXPECT_EQ(supplies[2 - supply], clean_supplies[2 - supply]) << what;
    }
  }
  sim::Board faulted = board;
  for (auto& [number, supply] : faulted.bmc->supplies) supply.silent = true;
  sim::BootedBoard run = BootDriver(faulted);
  ++points;
  EXPECT_TRUE(EndedCleanly(run, "every supply silent"));
  EXPECT_EQ(fault_sweep::RecordsOfType(run, 39).size(), 2u);
  fault_sweep::CountPoints("BMC supply silent or unknown", points);
}

}  // namespace
