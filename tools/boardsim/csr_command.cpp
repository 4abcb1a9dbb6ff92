// `boardsim csr`: runs the PEI module's CSR translation on a simulated platform and prints where a CSR
// lives, or the stop a request ends in; `--table` lists every valid CSR location of a socket.
#include "tools/boardsim/csr_command.h"

#include <CLI/CLI.hpp>

#include <cstdio>

#include "regaccess/csr_tables.h"
#include "regaccess/csr_translation.h"
#include "sim/common/debug_stop_log.h"
#include "sim/common/hex_text.h"
#include "sim/pei/pei_platform.h"
#include "uefi/silicon_context_layout.h"

namespace boardsim {

namespace {

constexpr unsigned kSocketRows = 2;  // rows the topology block holds before its CPU type and bitmaps

const char* BoxName(unsigned box) {
  static const char* const kNames[CsrBoxTypeCount] = {
      "CHA", "CHA", "CHA",          "CHABC",    "PCU",          "VCU",    "M2MEM",   "-",       "-",    "WZL", "-",
      "-",   "WZL", "IIO PCIE DMI", "IIO PCIE", "IIO PCIE NTB", "IIO QD", "IIO VTD", "IIO DFX", "Ubox", "FPGA"};
  return box < CsrBoxTypeCount ? kNames[box] : "?";
}

// The stop message on one line: newlines and the spaces around them dropped.
std::string StopLine(const sim::DebugStop& stop) {
  std::string text = sim::FormatDebugStop(stop);
  std::string out;
  for (char c : text) out += c == '\n' ? ' ' : c;
  const size_t first = out.find_first_not_of(' ');
  const size_t last = out.find_last_not_of(' ');
  return first == std::string::npos ? std::string() : out.substr(first, last - first + 1);
}

struct Translation {
  CsrLocation location;
  uint32_t address;
  std::vector<sim::DebugStop> stops;
};

// The cache is bypassed (its keys are reset) so every line shows a composed translation.
Translation Translate(sim::PeiPlatform& platform, unsigned socket, unsigned box, unsigned instance, unsigned block,
                      unsigned offset) {
  Translation t{};
  const RegisterAddress record =
      MakeCsrRecord(static_cast<uint8_t>(socket), static_cast<uint8_t>(box), static_cast<uint8_t>(instance),
                    static_cast<uint8_t>(block), offset, 0, platform.silicon_context().address());
  sim::ClearDebugStops();
  t.location = LocateCsr(&record);
  t.stops = sim::TakeDebugStops();
  RegisterAddress copy = record;
  platform.silicon_context().Write32(SiliconContextLayout::CacheKey1, ~(record.Address & CsrPageMask));
  TranslateCsrAddress(&copy, &t.address);
  sim::ClearDebugStops();
  return t;
}

// Requests that translate without a stop but name no CSR of their own: those the rules resolve to a
// zero device or bus, and functional blocks the box lacks (a 0xFF entry of its FunctionBlockTable row)
// where the row is indexed by the block (all box types but 7, 8 and 11) and the rules ignore it.
bool NamesNoCsr(unsigned box, unsigned instance, unsigned block) {
  if ((box == CsrBox7 || box == CsrBox11) && instance > 5) return true;
  if (box == CsrBoxIioDfx && (block == 2 || block == 4) && instance > 5) return true;
  const bool indexed_by_block = box != CsrBox7 && box != CsrBox8 && box != CsrBox11;
  return indexed_by_block && FunctionBlockEntry(0, box, block) == CsrNoFunction;
}

void PrintLocation(std::ostream& out, const Translation& t) {
  out << "bus " << sim::Hex(t.location.Bus, 2) << " device " << t.location.Device << " function " << t.location.Function
      << "\naddress " << sim::Hex(t.address, 8) << "\n";
}

int RunLookup(const CsrOptions& o, sim::PeiPlatform& platform, std::ostream& out) {
  out << "socket " << o.socket << " box " << *o.box << " (" << BoxName(*o.box) << ") instance " << *o.instance
      << " block " << *o.block << " offset " << sim::Hex(o.offset, 3) << "\n";
  const Translation t = Translate(platform, o.socket, *o.box, *o.instance, *o.block, o.offset);
  if (t.stops.empty()) {
    PrintLocation(out, t);
    return kCsrOk;
  }
  for (const auto& stop : t.stops) out << "stop: " << StopLine(stop) << "\n";
  out << "once a debugger clears the stop: ";
  PrintLocation(out, t);
  return kCsrStopped;
}

int RunTable(const CsrOptions& o, sim::PeiPlatform& platform, std::ostream& out) {
  out << "CSR locations of socket " << o.socket << " (offset 0)\n";
  out << "box  name          instance  block  bus   device  function  address\n";
  unsigned count = 0;
  for (unsigned box = 0; box < CsrBoxTypeCount; ++box) {
    for (unsigned instance = 0; instance < 256; ++instance) {
      for (unsigned block = 0; block < CsrFunctionBlockCount; ++block) {
        if (NamesNoCsr(box, instance, block)) continue;
        const Translation t = Translate(platform, o.socket, box, instance, block, 0);
        if (!t.stops.empty()) continue;
        char line[128];
        std::snprintf(line, sizeof line, "%3u  %-12s  %8u  %5u  0x%02X  %6u  %8u  0x%08X\n", box, BoxName(box),
                      instance, block, t.location.Bus, t.location.Device, t.location.Function, t.address);
        out << line;
        ++count;
      }
    }
  }
  out << count << " locations\n";
  return kCsrOk;
}

std::optional<std::string> CheckOptions(const CsrOptions& o) {
  if (o.socket > 255) return "--socket " + std::to_string(o.socket) + " is above 255 (give a socket number 0-255)";
  if (o.table) {
    if (o.box || o.instance || o.block)
      return "--table lists every box, instance and block (drop --box, --instance and --block)";
    return std::nullopt;
  }
  const std::pair<const char*, const std::optional<unsigned>*> required[] = {
      {"--box", &o.box}, {"--instance", &o.instance}, {"--block", &o.block}};
  for (const auto& [name, value] : required) {
    if (!value->has_value()) return std::string(name) + " is missing (give it, or use --table)";
    if (**value > 255) return std::string(name) + " " + std::to_string(**value) + " is above 255 (give 0-255)";
  }
  if (o.offset > 0xFFF) return "--offset " + sim::Hex(o.offset, 3) + " is above 0xFFF (give a register offset 0-0xFFF)";
  return std::nullopt;
}

}  // namespace

std::vector<std::string> CheckCsrSilicon(const CsrSilicon& s) {
  std::vector<std::string> problems;
  if (s.stack_bus.size() > kSocketRows) {
    problems.push_back("stack_bus: " + std::to_string(s.stack_bus.size()) +
                       " socket rows, the SiliconContext holds 2 (describe sockets 0 and 1 only)");
  }
  if (s.stack_bus.size() > 1 && s.stack_bus[1][4] != s.cpu_type) {
    problems.push_back("stack_bus[1][4]: socket 1 stack 4 bus " + sim::Hex(s.stack_bus[1][4], 2) +
                       " shares its byte with cpu_type " + std::to_string(s.cpu_type) + " (make them equal)");
  }
  const uint32_t rows_map = s.stack_bus.size() >= 32 ? ~0u : (1u << s.stack_bus.size()) - 1;
  if (((s.cpu_socket_map | s.fpga_socket_map) & ~rows_map) != 0) {
    problems.push_back("socket maps name sockets without a stack_bus row (add the row or clear the bit)");
  }
  if (s.mmcfg_base.size() > 8) {
    problems.push_back("mmcfg_base: " + std::to_string(s.mmcfg_base.size()) +
                       " segments, the SiliconContext holds 8 (give at most 8)");
  }
  return problems;
}

std::vector<sim::ContextBytes> CsrSiliconBytes(const CsrSilicon& s) {
  namespace Layout = SocketTopologyLayout;
  const uint32_t topology = SiliconContextLayout::SocketTopology;
  std::vector<sim::ContextBytes> bytes;
  for (size_t socket = 0; socket < s.stack_bus.size(); ++socket) {
    bytes.push_back({static_cast<uint32_t>(topology + Layout::StackBus + 6 * socket),
                     std::vector<uint8_t>(s.stack_bus[socket].begin(), s.stack_bus[socket].end())});
  }
  bytes.push_back({topology + Layout::CpuType, {s.cpu_type}});
  bytes.push_back(sim::ContextWord32(topology + Layout::CpuSocketMap, s.cpu_socket_map));
  bytes.push_back(sim::ContextWord32(topology + Layout::FpgaSocketMap, s.fpga_socket_map));
  bytes.push_back({topology + Layout::InstancesPerDevice, {s.instances_per_device}});
  // Segment s's low word; the word below segment 0's is its high word (0).
  bytes.push_back(sim::ContextWord32(SiliconContextLayout::MmcfgHighWord, 0));
  for (size_t segment = 0; segment < s.mmcfg_base.size(); ++segment) {
    bytes.push_back(sim::ContextWord32(static_cast<uint32_t>(SiliconContextLayout::MmcfgLowWord + 4 * segment),
                                       s.mmcfg_base[segment]));
  }
  bytes.push_back({SiliconContextLayout::CacheEnable, {static_cast<uint8_t>(s.cache_enable ? 1 : 0)}});
  return bytes;
}

int RunCsrCommand(const CsrOptions& options, const CsrSilicon& silicon, std::ostream& out, std::ostream& err) {
  if (auto problem = CheckOptions(options)) {
    err << "boardsim csr: " << *problem << "\n";
    return kCsrBadInput;
  }
  const std::vector<std::string> problems = CheckCsrSilicon(silicon);
  for (const auto& p : problems) err << "boardsim csr: silicon " << p << "\n";
  if (!problems.empty()) return kCsrBadInput;

  sim::PeiPlatformConfig config;
  config.silicon_context = CsrSiliconBytes(silicon);
  sim::PeiPlatform platform(config);
  const int status = options.table ? RunTable(options, platform, out) : RunLookup(options, platform, out);
  for (const auto& v : platform.violations().Messages()) err << "boardsim csr: simulator: " << v << "\n";
  return platform.violations().Empty() ? status : kCsrBadInput;
}

CLI::App* AddCsrCommand(CLI::App& app, CsrOptions& options) {
  CLI::App* csr = app.add_subcommand("csr", "Where a CPU CSR lives: bus, device, function and MMIO address");
  csr->add_option("--board", options.board_file, "Board file (default: the built-in board)");
  csr->add_flag("--table", options.table, "List every valid box type, instance and functional block of the socket");
  csr->add_option("--socket", options.socket, "Socket number (segment of the MMCFG base)");
  csr->add_option("--box", options.box, "Box type 0-20");
  csr->add_option("--instance", options.instance, "Box instance");
  csr->add_option("--block", options.block, "Functional block 0-7");
  csr->add_option("--offset", options.offset, "Register offset 0-0xFFF");
  return csr;
}

}  // namespace boardsim
