// The default board with PCI faults: each function reading all ones in turn (gone after enumeration, its PCI I/O
// handle still there), each function's PCI I/O reads failing in turn, all functions reading all ones at once, an
// empty segment, and VPD that never completes or completes too late on each VPD function. Every run ends cleanly
// (see fault_sweep.h) with the same number of records of each published type as a clean run: a missing device
// changes what a record says, never whether it is published.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "sim/board/board_file.h"
#include "smbios/records/vpd_reader.h"
#include "tests/smbios/entry/fault_sweep.h"

namespace {

using fault_sweep::BootDriver;
using fault_sweep::EndedCleanly;

const sim::PciLocation kSlotCard{0, 0x17, 0, 0};        // JSLOT1 network card with VPD
const sim::PciLocation kOnboardLan{0, 0x4B, 0, 0};      // onboard LAN with the VPD "V2" MAC
const sim::PciLocation kOnboardNetwork{0, 0x02, 0, 0};  // chipset network controller (MAC from its BAR)
constexpr uint64_t kVpdBudgetUs = VpdPollTests * 10;    // the driver's polling budget for one VPD dword

class PciFaultSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    board = sim::DefaultBoard();
    sim::BootedBoard clean = BootDriver(board);
    ASSERT_TRUE(EndedCleanly(clean, "clean run"));
    clean_counts = clean.result.summary.records_by_type;
    clean_type40 = fault_sweep::RecordsOfType(clean, 40);
  }

  sim::PciFunctionSpec& Function(sim::Board& b, const sim::PciLocation& at) {
    for (sim::PciFunctionSpec& f : b.pci) {
      if (f.location == at) return f;
    }
    ADD_FAILURE() << "no function at " << sim::ToString(at);
    return b.pci.front();
  }
  sim::VpdBehaviour& Vpd(sim::Board& b, const sim::PciLocation& at) {
    for (sim::PciCapabilitySpec& cap : Function(b, at).capabilities) {
      if (cap.kind == sim::PciCapabilitySpec::Kind::Vpd) return cap.vpd;
    }
    ADD_FAILURE() << "no VPD at " << sim::ToString(at);
    return Function(b, at).capabilities.front().vpd;
  }

  void ExpectSameRecordCounts(const sim::BootedBoard& run, const std::string& what) {
    EXPECT_EQ(run.result.summary.records_by_type, clean_counts) << what;
  }

  // The VPD bytes carried by the type 40 records (formatted area beyond the 33 bytes of a record without VPD).
  static size_t VpdBytes(const std::vector<std::vector<uint8_t>>& type40) {
    size_t total = 0;
    for (const auto& r : type40) total += r[1] > 33 ? r[1] - 33 : 0;
    return total;
  }

  // Boots the board with the VPD at `at` never completing or completing after the polling budget; checks that the
  // run ended cleanly with the clean run's record counts.
  sim::BootedBoard RunVpdFault(const sim::Board& base, const sim::PciLocation& at, bool late) {
    sim::Board faulted = base;
    sim::VpdBehaviour& vpd = Vpd(faulted, at);
    if (late) {
      vpd.delay_us = kVpdBudgetUs + 1000;
    } else {
      vpd.never_completes = true;
    }
    const std::string what = "VPD of " + sim::ToString(at) + (late ? " too late" : " never completing");
    sim::BootedBoard run = BootDriver(faulted);
    EXPECT_TRUE(EndedCleanly(run, what));
    ExpectSameRecordCounts(run, what);
    return run;
  }

  // Bytes 10..15 of the System Information record's UUID (offset 8): the node, the onboard MAC address.
  static std::vector<uint8_t> UuidNode(const sim::BootedBoard& run) {
    std::vector<uint8_t> system = fault_sweep::RecordsOfType(run, 1).at(0);
    return {system.begin() + 18, system.begin() + 24};
  }

  sim::Board board;
  std::map<uint8_t, size_t> clean_counts;
  std::vector<std::vector<uint8_t>> clean_type40;
};

TEST_F(PciFaultSweep, EachFunctionReadingAllOnesEndsCleanly) {
  for (size_t i = 0; i < board.pci.size(); ++i) {
    sim::Board faulted = board;
    faulted.pci[i].reads_all_ones = true;
    const std::string what = sim::ToString(faulted.pci[i].location) + " reading all ones";
    sim::BootedBoard run = BootDriver(faulted);
    EXPECT_TRUE(EndedCleanly(run, what));
    EXPECT_TRUE(run.result.callback_ran) << what;
    ExpectSameRecordCounts(run, what);
  }
  fault_sweep::CountPoints("PCI function reading all ones", board.pci.size());
}

// Every Pci.Read on one function's PCI I/O instance failing (the board fault key `fail_pci_io_reads`): the run
// ends cleanly with the clean run's record counts, and each field of every type 40 identity block is either what
// the clean run read or the filler of a position without a device, never bytes the driver did not read.
TEST_F(PciFaultSweep, EachFunctionWhosePciIoReadsFailEndsCleanlyWithReadOrFillerIdentities) {
  struct Field {
    size_t at, size;
    uint8_t filler;
  };
  const Field fields[] = {{0x10, 4, 0xFF}, {0x14, 4, 0x00}, {0x18, 1, 0xFF}, {0x19, 1, 0xFF}, {0x1A, 1, 0xFF}};
  for (size_t i = 0; i < board.pci.size(); ++i) {
    sim::Board faulted = board;
    faulted.faults.fail_pci_io_reads.push_back({board.pci[i].location, {}});
    const std::string what = sim::ToString(board.pci[i].location) + " with failing PCI I/O reads";
    sim::BootedBoard run = BootDriver(faulted);
    EXPECT_TRUE(EndedCleanly(run, what));
    ExpectSameRecordCounts(run, what);
    const auto type40 = fault_sweep::RecordsOfType(run, 40);
    ASSERT_EQ(type40.size(), clean_type40.size()) << what;
    for (size_t r = 0; r < type40.size(); ++r) {
      for (const Field& f : fields) {
        const std::vector<uint8_t> got(type40[r].begin() + f.at, type40[r].begin() + f.at + f.size);
        const std::vector<uint8_t> clean(clean_type40[r].begin() + f.at, clean_type40[r].begin() + f.at + f.size);
        EXPECT_TRUE(got == clean || got == std::vector<uint8_t>(f.size, f.filler))
            << what << ": type 40 record " << r << ", offset 0x" << std::hex << f.at;
      }
    }
  }
  fault_sweep::CountPoints("PCI function whose PCI I/O reads fail", board.pci.size());
}

TEST_F(PciFaultSweep, EveryFunctionReadingAllOnesEndsCleanly) {
  for (sim::PciFunctionSpec& f : board.pci) f.reads_all_ones = true;
  sim::BootedBoard run = BootDriver(board);
  EXPECT_TRUE(EndedCleanly(run, "every function reading all ones"));
  ExpectSameRecordCounts(run, "every function reading all ones");
  EXPECT_EQ(VpdBytes(fault_sweep::RecordsOfType(run, 40)), 0u);
  fault_sweep::CountPoints("PCI: every function reading all ones", 1);
}

TEST_F(PciFaultSweep, EmptySegmentEndsCleanly) {
  board.pci.clear();
  sim::BootedBoard run = BootDriver(board);
  EXPECT_TRUE(EndedCleanly(run, "no PCI function"));
  ExpectSameRecordCounts(run, "no PCI function");
  fault_sweep::CountPoints("PCI: empty segment", 1);
}

// The slot card's VPD never sets its completion flag, or sets it only after the driver's polling budget: its
// type 40 record goes out without the VPD image, and the run's virtual time stays bounded by that budget.
TEST_F(PciFaultSweep, SlotCardVpdThatNeverCompletesOrIsTooLate) {
  ASSERT_GT(VpdBytes(clean_type40), 0u);
  for (bool late : {false, true}) {
    sim::BootedBoard run = RunVpdFault(board, kSlotCard, late);
    EXPECT_EQ(VpdBytes(fault_sweep::RecordsOfType(run, 40)), 0u) << late;
    EXPECT_LT(run.result.summary.virtual_time_us, 20 * kVpdBudgetUs) << late;
  }
  fault_sweep::CountPoints("VPD never completing or too late (slot card)", 2);
}

// With a chipset network controller of no listed kind the MAC comes from the onboard LAN's VPD "V2" keyword; when
// that VPD never completes (or is too late) the UUID is still filled from the time, with a zero node.
TEST_F(PciFaultSweep, OnboardLanVpdThatNeverCompletesOrIsTooLate) {
  Function(board, kOnboardNetwork).device_id = 0x0001;
  sim::BootedBoard reachable = BootDriver(board);
  ASSERT_TRUE(EndedCleanly(reachable, "onboard MAC from the LAN VPD"));
  const std::vector<uint8_t> lan_mac = {0x02, 0x5E, 0x10, 0x20, 0x30, 0x41};
  ASSERT_EQ(UuidNode(reachable), lan_mac);
  for (bool late : {false, true}) {
    sim::BootedBoard run = RunVpdFault(board, kOnboardLan, late);
    EXPECT_EQ(UuidNode(run), std::vector<uint8_t>(6, 0)) << late;
    std::vector<uint8_t> system = fault_sweep::RecordsOfType(run, 1).at(0);
    EXPECT_NE(std::vector<uint8_t>(system.begin() + 8, system.begin() + 16), std::vector<uint8_t>(8, 0)) << late;
  }
  fault_sweep::CountPoints("VPD never completing or too late (onboard LAN)", 2);
}

TEST_F(PciFaultSweep, BothVpdsNeverCompleting) {
  Function(board, kOnboardNetwork).device_id = 0x0001;
  Vpd(board, kSlotCard).never_completes = true;
  Vpd(board, kOnboardLan).never_completes = true;
  sim::BootedBoard run = BootDriver(board);
  EXPECT_TRUE(EndedCleanly(run, "both VPDs never completing"));
  ExpectSameRecordCounts(run, "both VPDs never completing");
  fault_sweep::CountPoints("VPD never completing (both)", 1);
}

}  // namespace
