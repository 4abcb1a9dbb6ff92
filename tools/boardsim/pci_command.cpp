// `boardsim pci`: the board's PCI functions as a tree, the slots' root ports, and the dump file.
#include "tools/boardsim/pci_command.h"

#include <fstream>

#include "sim/board/board_file.h"
#include "sim/common/virtual_clock.h"
#include "tools/boardsim/lspci_dump_writer.h"
#include "tools/boardsim/pci_listing.h"
#include "tools/boardsim/pci_tree.h"
#include "tools/boardsim/slot_root_ports.h"

namespace boardsim {

int RunPciCommand(const PciOptions& options, std::ostream& out, std::ostream& err) {
  sim::Board board;
  try {
    board = options.board_file ? sim::LoadBoardFile(*options.board_file) : sim::DefaultBoard();
  } catch (const sim::BoardFileError& e) {
    err << "boardsim pci: " << e.what() << "\n";
    return 2;
  }
  sim::VirtualClock clock;
  const sim::PciBus bus(board.pci, clock);  // the loader has checked the topology
  const std::vector<SlotRootPort> slots = SlotRootPorts(board.pcd.socket_bus_layout);

  out << "PCI tree of board \"" << board.name << "\" (" << (board.source.empty() ? "built in" : board.source)
      << "): " << bus.Functions().size() << " functions\n\n";
  out << PciTreeText(bus, slots, TreeText::Names) << "\n";
  if (slots.empty()) {
    out << "Slot root ports: none (the board's pcd.socket_bus_layout is not valid or marks no slot's socket and "
           "stack present)\n";
  } else {
    out << "Slot root ports (where the driver looks for them):\n";
    for (const SlotRootPort& slot : slots) {
      out << "  " << slot.designation << ": " << ListingSlot(slot.at)
          << (bus.Find(slot.at) ? "" : " (no function there)") << "\n";
    }
  }

  if (options.lspci_dump) {
    std::ofstream file(*options.lspci_dump, std::ios::trunc);
    file << LspciDumpText(bus);
    file.close();
    if (!file) {
      err << "boardsim pci: cannot write --lspci-dump file " << *options.lspci_dump
          << " (check the directory exists and is writable)\n";
      return 2;
    }
    out << "\nDump written to " << *options.lspci_dump << " (" << bus.Functions().size()
        << " functions, 4096 bytes each; read it with `lspci -F " << *options.lspci_dump << " -vvv`)\n";
  }
  return 0;
}

}  // namespace boardsim
