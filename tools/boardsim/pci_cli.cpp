// The command line of `boardsim pci`.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "tools/boardsim/commands.h"
#include "tools/boardsim/pci_command.h"

namespace boardsim {

void SetupPciCommand(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<PciOptions>();
  CLI::App* cmd = app.add_subcommand("pci",
                                     "Print a board's PCI tree (as `lspci -tv` draws it), slot root ports "
                                     "labelled with the driver's slot designations");
  cmd->add_option("--board", options->board_file, "Board file (YAML); default: the built-in default board");
  cmd->add_option("--lspci-dump", options->lspci_dump,
                  "Also write every function in the lspci dump format (as `lspci -xxxx`; `lspci -F FILE` reads it)");
  cmd->callback([options, &exit_status] { exit_status = RunPciCommand(*options, std::cout, std::cerr); });
}

}  // namespace boardsim
