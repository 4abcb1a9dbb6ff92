// What the shipped images' code costs, measured in the CPU emulator (exact, repeatable instruction counts):
// per status code of the PEI path the PEI image's instructions and its deepest stack, the formatter's error,
// debug and assertion lines as the image executes them, and the driver image's entry point and callback on
// the default board. Every figure is taken twice from fresh platforms; the program fails when they differ.
// Usage: image_cost_measure [PEI_IMAGE DXE_IMAGE] (default: the images of this build).
#include <sys/personality.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/pei/status_code_cases.h"
#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "sim/image/driver_image_run.h"
#include "sim/image/peim_image_run.h"
#include "trace/format/format_text.h"
#include "uefi/guid.h"

namespace {

struct PathFigure {
  std::string name;
  uint64_t instructions = 0, stack = 0, writes = 0;
  bool operator==(const PathFigure&) const = default;
};

sim::TracePlatformConfig PlatformConfig() {
  sim::TracePlatformConfig config;
  config.pei.mcfg_table.entries = {{0x80000000u, 0, 0, 255}};
  return config;
}

bool MeasurePath(const std::string& image, std::vector<PathFigure>& out) {
  sim::TracePlatform platform(PlatformConfig());
  std::string error;
  auto run = sim::PeimImageRun::Create(platform, image, error);
  if (!run) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  run->Machine().SetExactCounting(true);
  if (run->RunEntry() != 0 || platform.handler().listeners().size() != 1) return false;
  for (const bench::StatusCodeCase& c : bench::MakeStatusCodeCases(platform.records())) {
    const size_t before = platform.hub().Writes().size();
    run->Report(c.type, c.value, c.instance, c.caller, c.data);
    const sim::GuestCallResult& r = run->LastCalls().at(0);
    if (!r.completed) {
      std::fprintf(stderr, "%s: %s\n", c.name, r.fault.c_str());
      return false;
    }
    out.push_back({c.name, r.instructions, r.stack_used, platform.hub().Writes().size() - before});
  }
  if (!platform.violations().Messages().empty()) {
    std::fprintf(stderr, "violations: %s\n", platform.violations().Joined().c_str());
    return false;
  }
  return true;
}

// The formatter's three lines, called in the image by their link-map symbols with arguments in guest memory.
struct LineFigure {
  std::string name, text, host_text;  // the image's text and the host-linked formatter's for the same call
  uint64_t instructions = 0;
  bool operator==(const LineFigure&) const = default;
};

bool MeasureLines(const std::string& image, std::vector<LineFigure>& out) {
  sim::TracePlatform platform(PlatformConfig());
  std::string error;
  auto run = sim::PeimImageRun::Create(platform, image, error);
  if (!run) return false;
  run->Machine().SetExactCounting(true);
  const auto format_text = run->Symbol("__Z10FormatTextPvjPKcz");
  const auto format_packed = run->Symbol("__Z16FormatTextPackedPvjjPKvS1_j");
  if (!format_text || !format_packed) {
    std::fprintf(stderr, "the link map does not name FormatText and FormatTextPacked\n");
    return false;
  }
  sim::ImageMachine& m = run->Machine();
  auto text = [&](const std::string& s) {
    uint8_t* p = m.Arena().Allocate(s.size() + 1, 4);
    std::memcpy(p, s.c_str(), s.size() + 1);
    return uint64_t{sim::GuestArena::Address32(p)};
  };
  uint8_t* buffer = m.Arena().Allocate(2048, 16);
  const uint64_t b = sim::GuestArena::Address32(buffer);
  const EFI_GUID caller = {0x23A3E7BA, 0x75D1, 0x4CB9, {0x9C, 0x8F, 0x56, 0xFA, 0x4E, 0x48, 0xD9, 0x9E}};
  uint8_t* guid = m.Arena().Allocate(16, 4);
  std::memcpy(guid, &caller, 16);
  bool ok = true;
  auto call = [&](uint64_t at, std::vector<uint64_t> args, uint64_t& instructions) {
    const sim::GuestCallResult r = m.Call(at, args);
    ok = ok && r.completed;
    instructions += r.instructions;
    return r.value;
  };

  auto at = [](uint64_t guest) { return reinterpret_cast<const char*>(static_cast<uintptr_t>(guest)); };
  char host[2048];
  UINT32 h = 0;

  LineFigure error_line{"error", "", "", 0};
  uint64_t n = call(*format_text, {b, 2048, text("ERROR: C%08x:V%08x I%x"), 0x80000002u, 0x0301000Au, 0},
                    error_line.instructions);
  n += call(*format_text, {b + n, 2048 - n, text(" %g"), sim::GuestArena::Address32(guid)}, error_line.instructions);
  n += call(*format_text, {b + n, 2048 - n, text(" %x"), 0xFEF0C140u}, error_line.instructions);
  n += call(*format_text, {b + n, 2048 - n, text("\n\r")}, error_line.instructions);
  error_line.text.assign(reinterpret_cast<char*>(buffer), n);
  h = FormatText(host, 2048, "ERROR: C%08x:V%08x I%x", 0x80000002u, 0x0301000Au, 0u);
  h += FormatText(host + h, 2048 - h, " %g", guid);
  h += FormatText(host + h, 2048 - h, " %x", 0xFEF0C140u);
  h += FormatText(host + h, 2048 - h, "\n\r");
  error_line.host_text.assign(host, h);

  // The debug record's format and packed list, as the listener hands them over.
  LineFigure debug_line{"debug", "", "", 0};
  const uint32_t packed[24] = {static_cast<uint32_t>(text("PlatformMemoryInit")), 0xFFE21000u, 0xFFE21240u, 18432u, 0u};
  uint8_t* list = m.Arena().Allocate(sizeof packed, 4);
  std::memcpy(list, packed, sizeof packed);
  const uint64_t debug_format = text("Loading PEIM %a at 0x%08x EntryPoint=0x%08x, size %d bytes: %r\n");
  n = call(*format_packed, {b, 2048, 0, debug_format, sim::GuestArena::Address32(list), sizeof packed},
           debug_line.instructions);
  debug_line.text.assign(reinterpret_cast<char*>(buffer), n);
  h = FormatTextPacked(host, 2048, 0, at(debug_format), list, sizeof packed);
  debug_line.host_text.assign(host, h);

  LineFigure assert_line{"assert", "", "", 0};
  const uint64_t file = text("Platform/Pei/MemoryInit/MemoryInit.c"), description = text("!EFI_ERROR (Status)");
  n = call(*format_text, {b, 2048, text("\n\rPEI_ASSERT!: %a (%d): %a\n\r"), file, 412, description},
           assert_line.instructions);
  assert_line.text.assign(reinterpret_cast<char*>(buffer), n);
  h = FormatText(host, 2048, "\n\rPEI_ASSERT!: %a (%d): %a\n\r", at(file), 412u, at(description));
  assert_line.host_text.assign(host, h);
  out = {error_line, debug_line, assert_line};
  return ok;
}

struct DriverFigure {
  uint64_t entry = 0, callback = 0, entry_stack = 0, callback_stack = 0;
  bool operator==(const DriverFigure&) const = default;
};

bool MeasureDriver(const std::string& image, DriverFigure& out) {
  std::string error;
  auto driver = sim::EmulatedDriver::Load(image, error);
  if (!driver) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  driver->SetExactCounting(true);
  sim::BootedBoard booted = sim::BootBoard(sim::DefaultBoard(), driver->Entry());
  if (driver->Calls().size() != 2 || !booted.result.summary.violations.empty()) return false;
  out = {driver->Calls()[0].instructions, driver->Calls()[1].instructions, driver->Calls()[0].stack_used,
         driver->Calls()[1].stack_used};
  return true;
}

std::string Visible(const std::string& s) {
  std::string out;
  for (char c : s) out += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
  return out;
}

// One full measurement, as the report's text; empty when a run failed.
std::string Measure(const std::string& pei, const std::string& dxe) {
  std::vector<PathFigure> path;
  std::vector<LineFigure> lines;
  DriverFigure driver;
  if (!MeasurePath(pei, path) || !MeasureLines(pei, lines) || !MeasureDriver(dxe, driver)) return {};
  std::string out;
  char row[512];
  auto add = [&](int n) { out.append(row, static_cast<size_t>(std::max(0, std::min<int>(n, sizeof row - 1)))); };
  add(std::snprintf(row, sizeof row, "PEI image %s, per status code (instructions of the image's own code):\n",
                    pei.c_str()));
  add(std::snprintf(row, sizeof row, "  %-10s %12s %14s %8s\n", "code", "instructions", "deepest stack", "writes"));
  for (const PathFigure& f : path) {
    add(std::snprintf(row, sizeof row, "  %-10s %12llu %11llu B %8llu\n", f.name.c_str(),
                      static_cast<unsigned long long>(f.instructions), static_cast<unsigned long long>(f.stack),
                      static_cast<unsigned long long>(f.writes)));
  }
  out += "Formatter lines as the PEI image executes them (text compared with the host-linked formatter):\n";
  for (const LineFigure& f : lines) {
    add(std::snprintf(row, sizeof row, "  %-7s %6llu instructions, %3zu chars \"%s\"%s\n", f.name.c_str(),
                      static_cast<unsigned long long>(f.instructions), f.text.size(), Visible(f.text).c_str(),
                      f.host_text == f.text ? "" : "  DIFFERS FROM THE HOST FORMATTER"));
    if (f.host_text != f.text) return {};
  }
  add(std::snprintf(row, sizeof row, "Driver image %s on the default board (instructions of the image's own code):\n",
                    dxe.c_str()));
  add(std::snprintf(row, sizeof row, "  entry point %10llu instructions, deepest stack %llu B\n",
                    static_cast<unsigned long long>(driver.entry),
                    static_cast<unsigned long long>(driver.entry_stack)));
  add(std::snprintf(row, sizeof row, "  callback    %10llu instructions, deepest stack %llu B\n",
                    static_cast<unsigned long long>(driver.callback),
                    static_cast<unsigned long long>(driver.callback_stack)));
  return out;
}

// Measure() in children forked from this process's state, all started before any result is read, so every
// run starts from the same memory layout (the driver's counts follow the host addresses it is handed: a copy's
// alignment changes its instructions). Empty strings for runs that failed.
struct Child {
  pid_t pid = -1;
  int fd = -1;
};

Child StartMeasure(const std::string& pei, const std::string& dxe) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const std::string report = Measure(pei, dxe);
    const bool ok = write(fds[1], report.data(), report.size()) == static_cast<ssize_t>(report.size());
    _exit(ok && !report.empty() ? 0 : 1);
  }
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    return {};
  }
  return {pid, fds[0]};
}

std::string Collect(const Child& child) {
  if (child.pid < 0) return {};
  std::string report;
  char chunk[4096];
  for (ssize_t n; (n = read(child.fd, chunk, sizeof chunk)) > 0;) report.append(chunk, static_cast<size_t>(n));
  close(child.fd);
  int status = 0;
  waitpid(child.pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? report : std::string();
}

}  // namespace

int main(int argc, char** argv) {
  // The driver image's counts follow the host addresses it is handed (pool, tables, handle order): the
  // program runs itself again with address randomisation off, so every run sees the same layout.
  const int persona = personality(0xffffffff);
  if (persona != -1 && (persona & ADDR_NO_RANDOMIZE) == 0 && personality(persona | ADDR_NO_RANDOMIZE) != -1) {
    execv("/proc/self/exe", argv);
  }
#if defined(PEI_IMAGE) && defined(DXE_IMAGE)
  std::string pei = PEI_IMAGE, dxe = DXE_IMAGE;
#else
  std::string pei, dxe;
#endif
  if (argc == 3) {
    pei = argv[1];
    dxe = argv[2];
  }
  if (pei.empty() || dxe.empty()) {
    std::fprintf(stderr, "usage: image_cost_measure PEI_IMAGE DXE_IMAGE\n");
    return 2;
  }
  const Child one = StartMeasure(pei, dxe);
  const Child two = StartMeasure(pei, dxe);
  const std::string first = Collect(one), second = Collect(two);
  if (first.empty() || second.empty()) {
    std::fprintf(stderr, "a measured run failed\n");
    return 1;
  }
  std::fputs(first.c_str(), stdout);
  std::printf("Two runs from the same state: %s\n", first == second ? "every count agrees" : "COUNTS DIFFER");
  return first == second ? 0 : 1;
}
