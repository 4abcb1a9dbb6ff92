// The default board with protocols absent: each known protocol alone, with what its absence must change, and
// then every combination of them. Every run ends cleanly (see fault_sweep.h).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/board/board_file.h"
#include "sim/dxe/protocol_names.h"
#include "tests/smbios/entry/fault_sweep.h"
#include "uefi/status.h"

namespace {

using fault_sweep::BootDriver;
using fault_sweep::EndedCleanly;

size_t CountOf(const sim::RunSummary& s, uint8_t type) {
  auto it = s.records_by_type.find(type);
  return it == s.records_by_type.end() ? 0 : it->second;
}

sim::BootedBoard BootWithout(std::vector<std::string> absent) {
  sim::Board board = sim::DefaultBoard();
  board.faults.absent_protocols = std::move(absent);
  return BootDriver(board);
}

std::vector<std::vector<uint8_t>> BoardRecords() {
  sim::DxePlatform platform;
  sim::ApplyBoard(sim::DefaultBoard(), platform);
  std::vector<std::vector<uint8_t>> out;
  for (const auto& r : platform.Smbios().Records()) out.push_back(r.bytes);
  return out;
}

TEST(ProtocolAbsenceSweep, EveryKnownProtocolIsSwept) {
  std::vector<std::string> names;
  for (const sim::ProtocolName& p : sim::KnownProtocols()) names.push_back(p.name);
  EXPECT_EQ(names, (std::vector<std::string>{"smbios", "pcd", "hii", "registry", "loaded_image", "ipmi", "pci_io",
                                             "smm_base2"}));
}

// Without the PCD protocol, the registry or the loaded image, entry fails and the callback never runs: the
// table is the board's own, untouched.
TEST(ProtocolAbsenceSweep, EntryServicesAbsentLeaveTheTableAsTheBoardMadeIt) {
  for (const char* name : {"pcd", "registry", "loaded_image"}) {
    sim::BootedBoard run = BootWithout({name});
    EXPECT_TRUE(EndedCleanly(run, std::string(name) + " absent"));
    EXPECT_TRUE(EFI_ERROR(run.result.entry_status)) << name;
    EXPECT_FALSE(run.result.callback_ran) << name;
    EXPECT_EQ(fault_sweep::TableBytes(run), BoardRecords()) << name;
  }
}

TEST(ProtocolAbsenceSweep, WithoutSmbiosNothingIsPublishedOrRemoved) {
  sim::BootedBoard run = BootWithout({"smbios"});
  EXPECT_TRUE(EndedCleanly(run, "smbios absent"));
  EXPECT_EQ(run.result.entry_status, EFI_SUCCESS);
  EXPECT_TRUE(run.result.callback_ran);
  EXPECT_EQ(fault_sweep::TableBytes(run), BoardRecords());
  // The BMC is not asked when nothing could be published.
  const auto& calls = run.result.summary.calls;
  EXPECT_EQ(calls.count("Ipmi.SendIpmiCommand") ? calls.at("Ipmi.SendIpmiCommand") : 0, 0u);
}

TEST(ProtocolAbsenceSweep, WithoutHiiOnlyTheStringPackageIsMissing) {
  sim::BootedBoard clean = BootWithout({});
  sim::BootedBoard run = BootWithout({"hii"});
  EXPECT_TRUE(EndedCleanly(run, "hii absent"));
  EXPECT_EQ(run.result.entry_status, EFI_SUCCESS);
  EXPECT_TRUE(run.platform->Hii().PackageLists().empty());
  EXPECT_EQ(fault_sweep::TableBytes(run), fault_sweep::TableBytes(clean));
}

TEST(ProtocolAbsenceSweep, WithoutIpmiThereAreNoPowerSupplyRecords) {
  sim::BootedBoard clean = BootWithout({});
  sim::BootedBoard run = BootWithout({"ipmi"});
  EXPECT_TRUE(EndedCleanly(run, "ipmi absent"));
  EXPECT_EQ(CountOf(run.result.summary, 39), 0u);
  EXPECT_EQ(CountOf(clean.result.summary, 39), 2u);
  for (uint8_t type : {9, 40, 41}) {
    EXPECT_EQ(fault_sweep::RecordsOfTypeWithoutHandles(run, type),
              fault_sweep::RecordsOfTypeWithoutHandles(clean, type))
        << int(type);
  }
}

// The slot records read the window directly; the PCI I/O searches find nothing, so the type 40 records carry no
// card identity and the onboard devices are published as not found.
TEST(ProtocolAbsenceSweep, WithoutPciIoEveryRecordIsStillPublished) {
  sim::BootedBoard clean = BootWithout({});
  sim::BootedBoard run = BootWithout({"pci_io"});
  EXPECT_TRUE(EndedCleanly(run, "pci_io absent"));
  for (uint8_t type : {9, 39, 40, 41})
    EXPECT_EQ(CountOf(run.result.summary, type), CountOf(clean.result.summary, type)) << int(type);
}

TEST(ProtocolAbsenceSweep, WithoutSmmBaseTheTableIsTheSame) {
  sim::BootedBoard clean = BootWithout({});
  sim::BootedBoard run = BootWithout({"smm_base2"});
  EXPECT_TRUE(EndedCleanly(run, "smm_base2 absent"));
  EXPECT_EQ(fault_sweep::TableBytes(run), fault_sweep::TableBytes(clean));
}

// Every subset of the known protocols absent at once (2^8 runs).
TEST(ProtocolAbsenceSweep, EveryCombinationEndsCleanly) {
  const auto& known = sim::KnownProtocols();
  const size_t combinations = size_t{1} << known.size();
  for (size_t mask = 0; mask < combinations; ++mask) {
    std::vector<std::string> absent;
    std::string what = "absent:";
    for (size_t i = 0; i < known.size(); ++i) {
      if (mask & (size_t{1} << i)) {
        absent.push_back(known[i].name);
        what += std::string(" ") + known[i].name;
      }
    }
    sim::BootedBoard run = BootWithout(absent);
    EXPECT_TRUE(EndedCleanly(run, what));
  }
  fault_sweep::CountPoints("protocols absent (every combination)", combinations);
}

}  // namespace
