// The whole driver on a fuzzed board: the built-in default board with its PCD values (a socket/stack layout of
// any length, any UUID time), PCI functions added or replaced, the BMC's FRU images and silence, the setup
// variables (absent, any size, any contents), SMM on or off, an allocation failure and absent protocols; then
// driver entry, enumeration complete and the callback, as boardsim runs them. Invariants: no simulator
// violation (no access outside a device, no malformed or damaged record, no leak), and on a board without
// faults one type 9 record per slot, no probe record (types 26 to 29) and at most two type 39 records.
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "fuzz/support/dxe_run.h"
#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "fuzz/support/pci_inputs.h"
#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "sim/dxe/protocol_names.h"
#include "sim/dxe/setup_variables.h"
#include "smbios/board/slot_table.h"
#include "smbios/entry/driver_entry.h"

namespace {

const sim::Board& BaseBoard() {
  static const sim::Board board = sim::DefaultBoard();
  return board;
}

void MutatePcd(fuzz::FuzzInput& in, sim::BoardPcd& pcd) {
  uint8_t pick = in.U8() % 4;
  if (pick == 1) pcd.socket_bus_layout = in.Sized(120);  // any length, the 72-byte record's or not
  if (pick == 2 && !pcd.socket_bus_layout.empty()) pcd.socket_bus_layout[0] ^= 1;
  if (in.Bit()) pcd.uuid_timestamp = in.U32();
}

void MutatePci(fuzz::FuzzInput& in, sim::Board& board, fuzz::FunctionInputs* made) {
  uint8_t pick = in.U8() % 4;
  if (pick == 1) board.pci.clear();
  if (pick == 2) {
    // New VPD images for the board's own cards.
    for (auto& f : board.pci) {
      for (auto& c : f.capabilities) {
        if (c.kind == sim::PciCapabilitySpec::Kind::Vpd && in.Bit()) c.vpd.image = fuzz::VpdImage(in);
      }
    }
  }
  for (size_t n = in.U8() % 4; n > 0; --n) board.pci.push_back(fuzz::Function(in, made));
}

void MutateBmc(fuzz::FuzzInput& in, sim::Board& board) {
  if (in.U8() == 0xFF) {
    board.bmc.reset();
    return;
  }
  if (!board.bmc) return;
  for (auto& [number, supply] : board.bmc->supplies) {
    if (in.Bit()) supply.fru = in.Sized(160);
    supply.silent = in.U8() == 0xFF;
  }
}

void MutateSetup(fuzz::FuzzInput& in, sim::Board& board) {
  if (!in.Bit()) return;
  sim::BoardSetup setup;
  for (const sim::SetupVariable& v : sim::SetupVariables()) {
    uint8_t pick = in.U8() % 4;
    if (pick == 0) {
      setup.variables.push_back(std::nullopt);
      continue;
    }
    size_t size = pick == 1 ? v.size : pick == 2 ? in.U16() % (v.size + 1) : v.size + 1 + in.U8();
    std::vector<uint8_t> bytes = in.Sized(32);
    std::vector<uint8_t> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = bytes.empty() ? 0 : bytes[i % bytes.size()];
    setup.variables.push_back(data);
  }
  board.setup = setup;
  if (in.Bit()) board.smm = sim::BoardSmm{in.Bit()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  sim::Board board = BaseBoard();
  fuzz::FunctionInputs made;
  MutatePcd(in, board.pcd);
  MutatePci(in, board, &made);
  MutateBmc(in, board);
  MutateSetup(in, board);
  if (in.U8() == 0xFF) board.faults.fail_allocation = 1 + in.U8();
  uint8_t absent = in.U8() == 0xFF ? in.U8() : 0;
  const auto& known = sim::KnownProtocols();
  for (size_t i = 0; i < known.size() && i < 8; ++i) {
    if (absent & (1u << i)) board.faults.absent_protocols.push_back(known[i].name);
  }
  bool faults = board.faults.fail_allocation || !board.faults.absent_protocols.empty();

  DriverStateReset();
  sim::DxePlatform platform;
  try {
    sim::ApplyBoard(board, platform);
  } catch (const std::exception&) {
    return 0;  // not a board (functions that clash)
  }
  sim::BootResult result = sim::RunDxeDriver(platform, PlatformSmbiosDriverEntry);

  std::vector<std::string> tolerated;
  if (made.poked) tolerated.push_back("ignored, as hardware does");
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
