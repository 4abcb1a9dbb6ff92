// The command line of `boardsim smbios`.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "tools/boardsim/commands.h"
#include "tools/boardsim/smbios_command.h"

namespace boardsim {

void SetupSmbiosCommand(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<SmbiosOptions>();
  CLI::App* cmd =
      app.add_subcommand("smbios", "Run the SMBIOS driver on a simulated board and print the SMBIOS table it leaves");
  cmd->add_option("--board", options->board_file, "Board file (YAML); default: the built-in default board");
  cmd->add_option("--dump-bin", options->dump_bin, "Also write the table in the `dmidecode --dump-bin` layout");
  cmd->add_option("--entry-point", options->entry_point, "Entry point of the dump: 3 (SMBIOS 3.0, default) or 2 (2.1)")
      ->check(CLI::IsMember({2, 3}));
  cmd->add_option("--nvram", options->nvram,
                  "Keep the variables the firmware writes in FILE, read back on the next run");
  cmd->add_option("--image", options->image, "Run this built driver image (PE32+) instead of the host-linked driver");
  cmd->add_option("--fv", options->fv,
                  "Dispatch the driver from this firmware volume (firmware_modules.fv): checked, its dependency "
                  "expression evaluated against the board, run in the CPU emulator");
  cmd->add_flag("--hii", options->hii, "Also print the HII package lists the driver registered");
  cmd->callback([options, &exit_status] { exit_status = RunSmbiosCommand(*options, std::cout, std::cerr); });
}

}  // namespace boardsim
