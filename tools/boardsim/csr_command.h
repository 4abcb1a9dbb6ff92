// `boardsim csr`: where a CPU CSR lives (bus, device, function, MMIO address) by socket, box type,
// instance and functional block, or the stop the translation ends in; `--table` lists a socket's CSRs.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sim/pei/pei_platform_config.h"

namespace CLI {
class App;
}

namespace boardsim {

// What the platform's silicon initialisation leaves in the SiliconContext for the CSR translation.
struct CsrSilicon {
  // Bus of each stack (R[0..5]) of sockets 0 and 1. Socket 1's stack 4 shares its byte with the CPU
  // type, so it must equal cpu_type.
  std::vector<std::array<uint8_t, 6>> stack_bus = {{0x00, 0x1E, 0x1F, 0x20, 0x40, 0x60},
                                                   {0x80, 0x9E, 0x9F, 0xA0, 0x00, 0xE0}};
  uint8_t cpu_type = 0;
  uint32_t cpu_socket_map = 0x3;
  uint32_t fpga_socket_map = 0x0;
  uint8_t instances_per_device = 2;                          // D of box types 7, 8 and 11
  std::vector<uint32_t> mmcfg_base = {0x80000000u, 0x80000000u};  // per segment (= socket)
  bool cache_enable = false;
};

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

// The silicon description of the board the options name: the built-in description without --board.
// Board files do not describe the CPU socket topology yet, so --board is refused with a message on err.
std::optional<CsrSilicon> CsrSiliconOfBoard(const CsrOptions& options, std::ostream& err);

// Runs the command on a simulated PEI platform holding `silicon`.
int RunCsrCommand(const CsrOptions& options, const CsrSilicon& silicon, std::ostream& out, std::ostream& err);

// Registers the `csr` subcommand with its options on the boardsim command line; run it with
// RunCsrCommand when the returned subcommand was parsed.
CLI::App* AddCsrCommand(CLI::App& app, CsrOptions& options);

}  // namespace boardsim
