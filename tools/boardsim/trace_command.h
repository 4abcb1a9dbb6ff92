// `boardsim trace`: runs the PEI tracing module on a simulated PEI platform, reports status codes to it
// (a built-in sequence or the codes of a YAML file) and shows the trace-hub messages they became.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sim/pei/status_code_records.h"
#include "sim/pei/trace_platform.h"
#include "uefi/guid.h"

namespace sim {
class PeimImageRun;
}  // namespace sim

namespace CLI {
class App;
}

namespace boardsim {

// One status code to report, with the data record to hand over (if any).
struct TraceCode {
  enum class Data { None, Debug, Assertion, String, Other };
  std::string origin;  // "built-in #N" or "FILE:LINE", for messages
  uint32_t type = 0;   // class in bits 0-7, severity in bits 24-31
  uint32_t value = 0;
  uint32_t instance = 0;
  std::optional<EFI_GUID> caller;
  Data data = Data::None;
  uint32_t debug_level = 0;  // Debug
  std::string format;        // Debug
  std::vector<sim::DebugArgument> args;
  std::string file;  // Assertion
  uint32_t line = 0;
  std::string text;  // Assertion description, or the String record's text
  uint32_t string_type = 0;
  EFI_GUID record_guid{};  // Other: a record of this type with these extended bytes
  std::vector<uint8_t> record_bytes;
};

// A short description of the code as it is reported ("error (major) V0301000A I0, caller GUID").
std::string DescribeCode(const TraceCode& code);

// The built-in sequence: at least one code for every way the listener handles a code.
std::vector<TraceCode> BuiltInTraceCodes();
// Codes from YAML text; throws sim::BoardFileError naming file, line, field and fix. The file is a `codes:`
// list; each code has `class` (progress, error, debug or 0-255) and `severity` (minor, major, unrecovered,
// uncontained or 0-255; errors default to major), or the whole 32-bit `type`; `value`, `instance`,
// `caller_guid` (8-4-4-4-12); and at most one data record:
//   debug: {level: 0x80000000, format: "%a: %d\n", args: [name, 42, {u64: 0x100000000}, {string: "7"}]}
//   assertion: {file: Foo.c, line: 12, text: "x != 0"}
//   string: "text"            (or {text: ..., type: 1} for a string that is not ASCII)
//   record: {guid: 8-4-4-4-12, bytes: "01 02 03"}   (any other record type)
std::vector<TraceCode> ParseTraceCodes(const std::string& text, const std::string& file_name);
std::vector<TraceCode> LoadTraceCodes(const std::string& path);

// What one reported code produced.
struct TraceCodeResult {
  TraceCode code;
  std::vector<EFI_STATUS> statuses;               // one per registered listener
  std::vector<sim::TraceHubWrite> writes;         // every write the trace-hub window took
  std::vector<sim::SystDecodedMessage> messages;  // decoded from the writes to master 32, channel 14
  uint64_t mmio_reads = 0;
};

struct TraceRun {
  EFI_STATUS entry_status = 0;
  size_t listeners = 0;
  std::vector<TraceCodeResult> results;
  std::vector<std::string> violations;    // what the simulator saw go wrong
  std::vector<sim::MmioAccess> accesses;  // every bus access of the run (entry and codes), in order
};

// Runs the entry point on a platform built from config, then reports the codes one by one: the host-linked
// module's, or with `image` the built PEI image's in the emulator (a fault of the image is a violation).
TraceRun RunTrace(const std::vector<TraceCode>& codes, const sim::TracePlatformConfig& config);
// With `reused`, the run of the image is taken from it when it holds one (moved to this run's platform: the same
// image file is the caller's to keep) and left in it afterwards, so repeated runs keep one emulator.
TraceRun RunTraceImage(const std::vector<TraceCode>& codes, const sim::TracePlatformConfig& config,
                       const std::string& image, std::string& error,
                       std::unique_ptr<sim::PeimImageRun>* reused = nullptr);

// As RunTraceImage for the PEI module of a firmware volume (its file GUID, type PEIM), executing in place from
// the volume mapped read-only at its base address (fv::kModuleVolumeBase): a volume, file or image that cannot
// be used sets `error`; a dependency expression the platform does not satisfy sets `refusal` and nothing runs.
TraceRun RunTraceVolume(const std::vector<TraceCode>& codes, const sim::TracePlatformConfig& config,
                        const std::string& volume, std::string& error, std::string& refusal);

// A text with CR, LF, tab, backslash and other unprintable bytes written as escapes (\r, \n, \t, \\, \xNN).
std::string VisibleText(const std::string& text);

struct TraceOptions {
  std::optional<std::string> board_file;
  std::optional<std::string> codes_file;
  bool raw = false;                            // list the channel writes of each message
  bool no_pmc = false;                         // 0:31.2 absent
  bool hub_disabled = false;                   // the PMC's trace-hub disable bit set
  bool window_undecoded = false;               // the software-trace window reads all ones
  std::optional<uint64_t> pmc_vanishes_after;  // the PMC stops answering after this many window writes
  std::optional<std::string> image_file;       // run this built PEI image instead of the host-linked module
  std::optional<std::string> fv_file;          // run the PEI module of this firmware volume
};

// Exit status of RunTraceCommand.
constexpr int kTraceOk = 0;
constexpr int kTraceBadInput = 1;  // a board, codes or image file that does not load (message on err)
constexpr int kTraceFaults = 2;    // the simulator saw violations, a message came out malformed, or the volume's
                                   // module was not dispatched (its dependency expression does not hold)

// The platform the options and the board describe (the board's PCI Express base places the PMC).
sim::TracePlatformConfig TracePlatformOf(const TraceOptions& options, uint64_t ecam_base);

// Prints the run: the platform, the entry point, one line per code and its message, and a summary.
void PrintTraceRun(const TraceRun& run, const TraceOptions& options, const std::string& board_name,
                   const sim::TracePlatformConfig& config, std::ostream& out);

int RunTraceCommand(const TraceOptions& options, std::ostream& out, std::ostream& err);

// Registers the `trace` subcommand with its options.
CLI::App* AddTraceCommand(CLI::App& app, TraceOptions& options);

}  // namespace boardsim
