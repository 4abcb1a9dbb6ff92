// The command line of `boardsim capture`.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "tools/boardsim/capture_command.h"
#include "tools/boardsim/commands.h"

namespace boardsim {

void SetupCaptureCommand(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<CaptureOptions>();
  CLI::App* cmd = app.add_subcommand(
      "capture", "Write a board file of this Linux machine: its PCI functions and SMBIOS table, captured beside it");
  cmd->add_option("--out", options->out_dir, "Directory of the capture (board.yaml and the captured files)")
      ->capture_default_str();
  cmd->add_option("--root", options->root,
                  "Read the machine's /sys and /proc below this directory (a tree copied from another machine)")
      ->capture_default_str();
  cmd->callback([options, &exit_status] { exit_status = RunCaptureCommand(*options, std::cout, std::cerr); });
}

}  // namespace boardsim
