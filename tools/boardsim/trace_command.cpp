// `boardsim trace`: the run on the simulated PEI platform and its report.
#include "tools/boardsim/trace_command.h"

#include <fstream>
#include <iterator>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iomanip>

#include "firmware/fv/module_volume.h"
#include "sim/board/board_file.h"
#include "sim/common/hex_text.h"
#include "sim/image/peim_image_run.h"
#include "sim/image/volume_dispatch.h"
#include "trace/listener/peim_entry.h"
#include "uefi/pi_ffs_file.h"
#include "uefi/status.h"

namespace boardsim {

namespace {

constexpr unsigned kMaster = 32, kChannel = 14;

const void* BuildRecord(const TraceCode& code, sim::StatusCodeRecordArena& records) {
  switch (code.data) {
    case TraceCode::Data::None: return nullptr;
    case TraceCode::Data::Debug: return records.Debug(code.debug_level, code.format, code.args);
    case TraceCode::Data::Assertion: return records.Assertion(code.file, code.line, code.text);
    case TraceCode::Data::String: return records.String(code.text, code.string_type);
    case TraceCode::Data::Other: return records.Raw(code.record_guid, code.record_bytes);
  }
  return nullptr;
}

// SyS-T severity names.
std::string SeverityText(unsigned severity) {
  static const char* const kNames[8] = {"none", "fatal", "error", "warning", "info", "user1", "user2", "debug"};
  return std::to_string(severity) + " " + kNames[severity & 7];
}

const char* RoleText(sim::SystChannelWrite::Role role) {
  switch (role) {
    case sim::SystChannelWrite::Role::Data: return "data";
    case sim::SystChannelWrite::Role::FirstWord: return "header (time-stamped)";
    case sim::SystChannelWrite::Role::AlternateFirstWord: return "alternate first word";
    case sim::SystChannelWrite::Role::EndMark: return "end of message";
    case sim::SystChannelWrite::Role::Other: return "other register";
  }
  return "?";
}

std::string StatusText(EFI_STATUS status) {
  if (status == EFI_SUCCESS) return "EFI_SUCCESS";
  return "error " + sim::Hex(status, 0);
}

// Why a code produced no message.
std::string SilenceReason(const TraceCode& code, const sim::TracePlatformConfig& config) {
  if (code.data == TraceCode::Data::Debug && (code.debug_level & 0x80000046u) == 0) {
    return "no message: debug level " + sim::Hex(code.debug_level, 8) + " has none of the bits 0x80000046";
  }
  if (!config.pmc.present || config.pmc.trace_hub_disabled || !config.hub.decoded || config.pmc_vanishes_after_writes) {
    return "no message: the trace hub is not usable";
  }
  return "no message";
}

std::string PlatformText(const sim::TracePlatformConfig& config) {
  std::string out = "PMC 0:31.2 ";
  if (!config.pmc.present) {
    out += "absent";
  } else {
    out += "present, power-management base " + sim::Hex(config.pmc.config_dword_48 & 0xFFFF0000u, 8) + ", trace hub " +
           (config.pmc.trace_hub_disabled ? "disabled (bit 0 at +0x5D0 set)" : "enabled");
  }
  out += config.hub.decoded ? "; trace window 0xFE200000 decoded" : "; trace window 0xFE200000 not decoded";
  if (config.pmc_vanishes_after_writes) {
    out += "; the PMC stops answering after " + std::to_string(*config.pmc_vanishes_after_writes) + " window writes";
  }
  return out;
}

}  // namespace

std::string VisibleText(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c == '\\') out += "\\\\";
    else if (c == '"') out += "\\\"";
    else if (c < 0x20 || c >= 0x7F) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

namespace {

// Reports the codes one by one through `report` (the host handler or the image's listener calls).
template <class Report>
void ReportCodes(const std::vector<TraceCode>& codes, sim::TracePlatform& platform, TraceRun& run, Report report) {
  for (const auto& code : codes) {
    TraceCodeResult result;
    result.code = code;
    const void* data = BuildRecord(code, platform.records());
    const EFI_GUID* caller = code.caller ? platform.records().Guid(*code.caller) : nullptr;
    const size_t first_write = platform.hub().Writes().size();
    const uint64_t reads = platform.MmioReads();
    result.statuses = report(code.type, code.value, code.instance, caller, data);
    result.mmio_reads = platform.MmioReads() - reads;
    const auto& all = platform.hub().Writes();
    result.writes.assign(all.begin() + static_cast<std::ptrdiff_t>(first_write), all.end());
    std::vector<sim::SystChannelWrite> channel;
    for (const auto& w : result.writes) {
      if (w.master == kMaster && w.channel == kChannel) channel.push_back(w.write);
    }
    result.messages = sim::DecodeSystMessages(channel);
    run.results.push_back(std::move(result));
  }
  run.violations = platform.violations().Messages();
  run.accesses = platform.pei().Recorded();
}

}  // namespace

TraceRun RunTrace(const std::vector<TraceCode>& codes, const sim::TracePlatformConfig& config) {
  sim::TracePlatform platform(config);
  TraceRun run;
  platform.pei().StartRecording();
  run.entry_status = TraceStatusPeimEntry(nullptr, nullptr);
  run.listeners = platform.handler().listeners().size();
  ReportCodes(codes, platform, run, [&](auto... args) { return platform.Report(args...); });
  return run;
}

TraceRun RunTraceImage(const std::vector<TraceCode>& codes, const sim::TracePlatformConfig& config,
                       const std::string& image, std::string& error, std::unique_ptr<sim::PeimImageRun>* reused) {
  sim::TracePlatform platform(config);
  std::unique_ptr<sim::PeimImageRun> fresh;
  sim::PeimImageRun* peim = nullptr;
  if (reused != nullptr && *reused != nullptr && (*reused)->Reattach(platform)) {
    peim = reused->get();
  } else {
    fresh = sim::PeimImageRun::Create(platform, image, error);
    peim = fresh.get();
  }
  TraceRun run;
  if (peim == nullptr) return run;
  platform.pei().StartRecording();
  run.entry_status = peim->RunEntry();
  run.listeners = platform.handler().listeners().size();
  ReportCodes(codes, platform, run, [&](auto... args) { return peim->Report(args...); });
  if (reused != nullptr && fresh != nullptr) *reused = std::move(fresh);
  return run;
}

TraceRun RunTraceVolume(const std::vector<TraceCode>& codes, const sim::TracePlatformConfig& config,
                        const std::string& volume_path, std::string& error, std::string& refusal) {
  TraceRun run;
  std::unique_ptr<sim::LoadedVolume> volume = sim::LoadVolumeFile(volume_path, error);
  if (!volume) return run;
  std::optional<fv::ModuleFile> module =
      sim::FindVolumeModule(*volume, fv::PeimFileGuid(), EFI_FV_FILETYPE_PEIM, error);
  if (!module) return run;
  sim::TracePlatform platform(config);
  refusal = sim::PeiDispatchRefusal(*module, platform.pei().ppis());
  if (!refusal.empty()) return run;
  std::unique_ptr<sim::FlashVolume> flash = sim::FlashVolume::Create(volume->bytes, fv::kModuleVolumeBase, error);
  if (!flash) return run;
  // The link map of the PEI image, when it lies beside the volume (as in the build tree), names the stop primitive.
  const size_t slash = volume_path.find_last_of('/');
  std::ifstream map_file((slash == std::string::npos ? std::string() : volume_path.substr(0, slash + 1)) +
                         "trace_status_peim.map");
  std::string map_text((std::istreambuf_iterator<char>(map_file)), std::istreambuf_iterator<char>());
  const bool built_image = !map_text.empty();
  std::unique_ptr<sim::PeimImageRun> peim =
      sim::CreateVolumePeim(platform, *flash, *module, std::move(map_text), error);
  if (!peim) {
    error = volume_path + ": " + error;
    return run;
  }
  // Beside its map the volume's module is the built image: its blocks count as that image's.
  if (built_image) peim->Machine().SetName("trace_status_peim");
  platform.pei().StartRecording();
  run.entry_status = peim->RunEntry();
  run.listeners = platform.handler().listeners().size();
  ReportCodes(codes, platform, run, [&](auto... args) { return peim->Report(args...); });
  return run;
}

sim::TracePlatformConfig TracePlatformOf(const TraceOptions& options, uint64_t ecam_base) {
  sim::TracePlatformConfig config;
  if (ecam_base != 0) {
    // The board's PCI Express base is segment 0's window: the default base (PCD 44) and entry 0 of the
    // platform's MCFG table (PCD 60), which the module consults first.
    config.pei.default_mmcfg_base = ecam_base;
    config.pei.mcfg_table.entries = {sim::McfgEntryConfig{ecam_base}};
    config.pei.config_windows[0].base = ecam_base;
  }
  config.pmc.present = !options.no_pmc;
  config.pmc.trace_hub_disabled = options.hub_disabled;
  config.hub.decoded = !options.window_undecoded;
  config.pmc_vanishes_after_writes = options.pmc_vanishes_after;
  return config;
}

void PrintTraceRun(const TraceRun& run, const TraceOptions& options, const std::string& board_name,
                   const sim::TracePlatformConfig& config, std::ostream& out) {
  out << "boardsim trace: PEI status-code tracing on board \"" << board_name << "\"\n";
  out << "  Platform: " << PlatformText(config) << "\n";
  out << "  Entry point TraceStatusPeimEntry returned " << StatusText(run.entry_status) << "; " << run.listeners
      << (run.listeners == 1 ? " listener" : " listeners") << " registered with the report-status-code handler\n";
  out << "  Messages go to master 32, channel 14: header at 0xFE200390, payload at 0xFE200380, end mark at "
         "0xFE2003B0\n\n";
  out << std::left << std::setw(4) << "  #" << std::setw(60) << "Status code reported" << std::setw(11) << "Severity"
      << "Text sent (\\r\\n = CR LF)\n";

  size_t messages = 0, channel_writes = 0, other_writes = 0, malformed = 0;
  uint64_t reads = 0;
  for (size_t i = 0; i < run.results.size(); ++i) {
    const auto& r = run.results[i];
    const std::string number = std::to_string(i + 1);
    const std::string described = DescribeCode(r.code);
    out << std::right << std::setw(3) << number << " " << std::left;
    // A long description gets a line of its own; the severity and text follow in their columns.
    if (described.size() >= 59) out << described << "\n" << std::setw(4) << "";
    out << std::setw(60) << (described.size() >= 59 ? "" : described);
    if (r.messages.empty())
      out << std::setw(11) << "-"
          << "(" << SilenceReason(r.code, config) << ")\n";
    for (size_t m = 0; m < r.messages.size(); ++m) {
      const auto& msg = r.messages[m];
      if (m > 0) out << std::setw(64) << "";
      out << std::setw(11) << SeverityText(msg.severity) << "\"" << VisibleText(msg.Text()) << "\"\n";
      for (const auto& e : msg.errors)
        out << std::setw(75) << ""
            << "malformed: " << e << "\n";
      if (!msg.errors.empty()) ++malformed;
    }
    for (auto status : r.statuses) {
      if (status != EFI_SUCCESS)
        out << std::setw(4) << ""
            << "the listener returned " << StatusText(status) << "\n";
    }
    size_t here = 0;
    for (const auto& w : r.writes) {
      const bool ours = w.master == kMaster && w.channel == kChannel;
      (ours ? channel_writes : other_writes) += 1;
      here += ours ? 1 : 0;
      if (options.raw) {
        out << std::setw(8) << "" << sim::Hex(w.address, 8) << "  " << w.write.width * 8 << "-bit " << std::setw(20)
            << sim::Hex(w.write.value, static_cast<int>(w.write.width * 2)) << RoleText(w.write.role);
        if (!ours) out << " (master " << w.master << ", channel " << w.channel << ")";
        out << "\n";
      }
    }
    if (options.raw) {
      out << std::setw(8) << "" << here << " channel writes, " << r.mmio_reads << " MMIO reads\n";
    }
    messages += r.messages.size();
    reads += r.mmio_reads;
  }

  out << "\nSummary: " << run.results.size() << " status codes reported, " << messages << " messages, "
      << channel_writes << " writes to master 32 channel 14";
  if (other_writes != 0) out << ", " << other_writes << " writes to other channels";
  out << ", " << reads << " MMIO reads";
  if (messages != 0) {
    char per[32];
    std::snprintf(per, sizeof per, "%.1f", static_cast<double>(reads) / static_cast<double>(messages));
    out << " (" << per << " per message)";
  }
  out << "\n  Every channel write, and the presence test of each message, first reads the PMC's vendor ID and\n"
         "  power-management base, the trace-hub disable bit and the window's probe word (4 reads each).\n";
  if (malformed != 0) out << "  " << malformed << " messages did not decode cleanly\n";
  if (!run.violations.empty()) {
    out << "  Simulator violations:\n";
    for (const auto& v : run.violations) out << "    " << v << "\n";
  }
}

int RunTraceCommand(const TraceOptions& options, std::ostream& out, std::ostream& err) {
  sim::Board board;
  std::vector<TraceCode> codes;
  try {
    board = options.board_file ? sim::LoadBoardFile(*options.board_file) : sim::DefaultBoard();
    codes = options.codes_file ? LoadTraceCodes(*options.codes_file) : BuiltInTraceCodes();
  } catch (const sim::BoardFileError& e) {
    err << "boardsim trace: " << e.what() << "\n";
    return kTraceBadInput;
  }
  const sim::TracePlatformConfig config = TracePlatformOf(options, board.pcd.ecam_base);
  if (options.image_file && options.fv_file) {
    err << "boardsim trace: --image and --fv both name a module to run; give one\n";
    return kTraceBadInput;
  }
  std::string image_error, refusal;
  const TraceRun run = options.fv_file      ? RunTraceVolume(codes, config, *options.fv_file, image_error, refusal)
                       : options.image_file ? RunTraceImage(codes, config, *options.image_file, image_error)
                                            : RunTrace(codes, config);
  if (!image_error.empty()) {
    err << "boardsim trace: " << (options.fv_file ? "--fv " : "") << image_error << "\n";
    return kTraceBadInput;
  }
  if (!refusal.empty()) {
    err << "boardsim trace: --fv " << *options.fv_file << ": " << refusal << "\n";
    return kTraceFaults;
  }
  PrintTraceRun(run, options, board.name, config, out);
  bool clean = run.violations.empty();
  for (const auto& r : run.results) {
    for (const auto& m : r.messages) clean = clean && m.errors.empty();
  }
  return clean ? kTraceOk : kTraceFaults;
}

CLI::App* AddTraceCommand(CLI::App& app, TraceOptions& options) {
  CLI::App* cmd = app.add_subcommand(
      "trace",
      "Run the PEI status-code tracing module: report status codes to it and show the SyS-T messages it sends "
      "to the trace hub (master 32, channel 14)");
  cmd->add_option("--board", options.board_file,
                  "Board file (YAML); its pcd.ecam_base places the PMC's configuration space");
  cmd->add_option(
      "--codes", options.codes_file,
      "Status codes to report (YAML `codes:` list); default: a built-in sequence covering every kind of code");
  cmd->add_flag("--raw", options.raw, "Also list every trace-hub write of each message");
  cmd->add_flag("--no-pmc", options.no_pmc, "Simulate a platform without the power-management controller");
  cmd->add_flag("--hub-disabled", options.hub_disabled, "Set the PMC's trace-hub disable bit");
  cmd->add_flag("--window-undecoded", options.window_undecoded, "Leave the software-trace window undecoded");
  cmd->add_option("--pmc-vanishes-after", options.pmc_vanishes_after,
                  "The PMC stops answering after this many trace-hub writes");
  cmd->add_option("--image", options.image_file,
                  "Run this built PEI image (trace_status_peim.efi) in the CPU emulator instead of the host-linked "
                  "module");
  cmd->add_option("--fv", options.fv_file,
                  "Dispatch the PEI module from this firmware volume (firmware_modules.fv): checked, its dependency "
                  "expression evaluated, executing in place from the volume mapped read-only at its base address");
  return cmd;
}

}  // namespace boardsim
