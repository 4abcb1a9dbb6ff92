// `boardsim pci`: prints a board's PCI tree with each slot's root port labelled, and writes every function in
// the PCI utilities' dump format on request.
#pragma once
#include <optional>
#include <ostream>
#include <string>

namespace boardsim {

struct PciOptions {
  std::optional<std::string> board_file;  // the built-in default board when empty
  std::optional<std::string> lspci_dump;  // write every function in the dump format here
};

// Returns the exit status: 0 when the tree was printed (and the dump written), 2 for a board file that cannot
// be used or a dump file that cannot be written.
int RunPciCommand(const PciOptions& options, std::ostream& out, std::ostream& err);

}  // namespace boardsim
