// `boardsim csr`: where a CPU CSR lives (bus, device, function, MMIO address) by socket, box type,
// instance and functional block, or the stop the translation ends in; `--table` lists a socket's CSRs.
#pragma once
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sim/board/csr_board.h"
#include "sim/pei/pei_platform_config.h"

namespace CLI {
class App;
}

namespace boardsim {

// What the platform's silicon initialisation leaves in the SiliconContext for the CSR translation
// (a board's `csr` section).
using CsrSilicon = sim::BoardCsr;

// Problems of a CsrSilicon that the SiliconContext layout cannot hold, one line each (empty: fine).
std::vector<std::string> CheckCsrSilicon(const CsrSilicon& silicon);
// The SiliconContext bytes of a CsrSilicon, for PeiPlatformConfig::silicon_context.
std::vector<sim::ContextBytes> CsrSiliconBytes(const CsrSilicon& silicon);

struct CsrOptions {
  std::optional<std::string> board_file;
  bool table = false;
  unsigned socket = 0;
  std::optional<unsigned> box, instance, block;
  unsigned offset = 0;
};

// Exit status of RunCsrCommand.
constexpr int kCsrOk = 0;
constexpr int kCsrBadInput = 1;  // options or silicon description refused (message on err)
constexpr int kCsrStopped = 2;   // the request ends in a stop (printed on out)

// The `csr` section of the board the options name (--board, else the built-in board); a board file
// without one takes the built-in board's. A board file that does not load: the error on err, nullopt.
// Defined in csr_command_board.cpp, with the board-file loader.
std::optional<CsrSilicon> CsrSiliconOfBoard(const CsrOptions& options, std::ostream& err);

// Runs the command on a simulated PEI platform holding `silicon`.
int RunCsrCommand(const CsrOptions& options, const CsrSilicon& silicon, std::ostream& out, std::ostream& err);

// Registers the `csr` subcommand with its options on the boardsim command line; run it with
// RunCsrCommand when the returned subcommand was parsed.
CLI::App* AddCsrCommand(CLI::App& app, CsrOptions& options);

}  // namespace boardsim
