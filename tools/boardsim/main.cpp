// boardsim: runs the firmware modules on the simulated platform. One subcommand per job (commands.h).
#include <CLI/CLI.hpp>

#include "tools/boardsim/commands.h"

int main(int argc, char** argv) {
  CLI::App app{"boardsim: runs the platform firmware modules on a simulated board"};
  app.require_subcommand(1);
  int exit_status = 0;
  boardsim::SetupSmbiosCommand(app, exit_status);
  boardsim::SetupCsrCommand(app, exit_status);
  boardsim::SetupTraceCommand(app, exit_status);
  boardsim::SetupPciCommand(app, exit_status);
  boardsim::SetupCaptureCommand(app, exit_status);
  CLI11_PARSE(app, argc, argv);
  return exit_status;
}
