// The command line of `boardsim csr`: the silicon description comes from the board's csr section.
#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>

#include "tools/boardsim/commands.h"
#include "tools/boardsim/csr_command.h"

namespace boardsim {

void SetupCsrCommand(CLI::App& app, int& exit_status) {
  auto options = std::make_shared<CsrOptions>();
  CLI::App* cmd = AddCsrCommand(app, *options);
  cmd->callback([options, &exit_status] {
    std::optional<CsrSilicon> silicon = CsrSiliconOfBoard(*options, std::cerr);
    exit_status = silicon ? RunCsrCommand(*options, *silicon, std::cout, std::cerr) : kCsrBadInput;
  });
}

}  // namespace boardsim
