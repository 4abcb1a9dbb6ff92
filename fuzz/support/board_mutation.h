// A fuzzed board for the DXE harnesses: the built-in default board with its PCD values (a socket/stack layout
// of any length, any UUID time), PCI functions added or replaced, the BMC's FRU images and silence, the setup
// variables (absent, any size, any contents), SMM on or off, an allocation failure and absent protocols.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/support/fuzz_input.h"
#include "fuzz/support/pci_inputs.h"
#include "sim/board/board_file.h"
#include "sim/dxe/protocol_names.h"
#include "sim/dxe/setup_variables.h"

namespace fuzz {

inline const sim::Board& BaseBoard() {
  static const sim::Board board = sim::DefaultBoard();
  return board;
}

inline void MutatePcd(FuzzInput& in, sim::BoardPcd& pcd) {
  uint8_t pick = in.U8() % 4;
  if (pick == 1) pcd.socket_bus_layout = in.Sized(120);  // any length, the 72-byte record's or not
  if (pick == 2 && !pcd.socket_bus_layout.empty()) pcd.socket_bus_layout[0] ^= 1;
  if (in.Bit()) pcd.uuid_timestamp = in.U32();
}

inline void MutatePci(FuzzInput& in, sim::Board& board, FunctionInputs* made) {
  uint8_t pick = in.U8() % 4;
  if (pick == 1) board.pci.clear();
  if (pick == 2) {
    // New VPD images for the board's own cards.
    for (auto& f : board.pci) {
      for (auto& c : f.capabilities) {
        if (c.kind == sim::PciCapabilitySpec::Kind::Vpd && in.Bit()) c.vpd.image = VpdImage(in);
      }
    }
  }
  for (size_t n = in.U8() % 4; n > 0; --n) board.pci.push_back(Function(in, made));
}

inline void MutateBmc(FuzzInput& in, sim::Board& board) {
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

inline void MutateSetup(FuzzInput& in, sim::Board& board) {
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

// The whole fuzzed board; `made` records what the PCI functions do that a clean run must tolerate.
struct FuzzedBoard {
  sim::Board board;
  FunctionInputs made;
  bool faults = false;  // an allocation failure or an absent protocol
};

inline FuzzedBoard MakeBoard(FuzzInput& in) {
  FuzzedBoard out{BaseBoard(), {}, false};
  sim::Board& board = out.board;
  MutatePcd(in, board.pcd);
  MutatePci(in, board, &out.made);
  MutateBmc(in, board);
  MutateSetup(in, board);
  if (in.U8() == 0xFF) board.faults.fail_allocation = 1 + in.U8();
  uint8_t absent = in.U8() == 0xFF ? in.U8() : 0;
  const auto& known = sim::KnownProtocols();
  for (size_t i = 0; i < known.size() && i < 8; ++i) {
    if (absent & (1u << i)) board.faults.absent_protocols.push_back(known[i].name);
  }
  out.faults = board.faults.fail_allocation || !board.faults.absent_protocols.empty();
  return out;
}

}  // namespace fuzz
