// The command line of `boardsim trace`.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "tools/boardsim/commands.h"
#include "tools/boardsim/trace_command.h"

namespace boardsim {

void SetupTraceCommand(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<TraceOptions>();
  CLI::App* cmd = AddTraceCommand(app, *options);
  cmd->callback([options, &exit_status] { exit_status = RunTraceCommand(*options, std::cout, std::cerr); });
}

}  // namespace boardsim
