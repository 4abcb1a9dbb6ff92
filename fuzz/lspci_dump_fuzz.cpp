// The dump-text reader and the placement of captured functions: any text is either refused with a line inside
// it or read into functions of 64, 256 or 4096 bytes at distinct addresses that read back the same when written
// out again; each captured bridge placed at its own address (offset 0) keeps its bytes but the primary bus
// register, which becomes its own bus, or is refused.
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <string_view>

#include "fuzz/support/fuzz_check.h"
#include "sim/board/captures/binary_captures.h"
#include "sim/board/captures/capture_error.h"
#include "sim/board/captures/capture_placement.h"
#include "sim/board/captures/lspci_dump_reader.h"

namespace {

std::string Written(const std::vector<sim::DumpedFunction>& functions) {
  std::string out;
  for (const auto& f : functions) {
    char line[32];
    std::snprintf(line, sizeof line, "%04x:%02x:%02x.%u\n", f.location.segment, f.location.bus, f.location.device,
                  f.location.function);
    out += line;
    for (size_t at = 0; at < f.config.size(); ++at) {
      if (at % 16 == 0) out += (std::snprintf(line, sizeof line, at < 0x100 ? "%02zx:" : "%03zx:", at), line);
      out += (std::snprintf(line, sizeof line, " %02x", f.config[at]), line);
      if (at % 16 == 15) out += "\n";
    }
    out += "\n";
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t lines = 1;
  for (char c : text) lines += c == '\n';
  std::vector<sim::DumpedFunction> functions;
  try {
    functions = sim::ReadLspciDump(text);
  } catch (const sim::CaptureError& e) {
    FUZZ_REQUIRE(e.Where() >= 1 && e.Where() <= lines, "the error names a line of the text");
    return 0;
  }
  std::set<sim::PciLocation> seen;
  for (const auto& f : functions) {
    const size_t n = f.config.size();
    FUZZ_REQUIRE(n == 64 || n == 256 || n == 4096, "a function holds 64, 256 or 4096 bytes");
    FUZZ_REQUIRE(seen.insert(f.location).second, "each address once");
    FUZZ_REQUIRE(f.line >= 1 && f.line <= lines, "the header line is inside the text");
    sim::CapturedFunction(f.location, f.config, "");  // never refuses what the reader hands out
  }
  const auto again = sim::ReadLspciDump(Written(functions));
  FUZZ_REQUIRE(again.size() == functions.size(), "written out and read back: as many functions");
  for (size_t i = 0; i < again.size(); ++i)
    FUZZ_REQUIRE(again[i].config == functions[i].config && again[i].location == functions[i].location,
                 "written out and read back: the same bytes at the same address");
  std::vector<sim::CapturePlacement> placements;
  for (const auto& f : functions) {
    const uint8_t type = f.config[0x0E] & 0x7F;
    if (type == 1 || type == 2) placements.push_back({f.location, f.location, f.config[0x19]});
  }
  for (const auto& p : placements) {
    try {
      for (const auto& placed : sim::PlaceCapturedFunctions(functions, {p})) {
        const auto* original = &functions[0];
        for (const auto& f : functions)
          if (f.location == placed.function.location) original = &f;
        // The placed bridge's primary bus register becomes its own bus; nothing else moves.
        std::vector<uint8_t> expected = original->config;
        if (placed.function.location == p.at) expected[0x18] = p.at.bus;
        FUZZ_REQUIRE(placed.function.config == expected, "a placement by offset 0 changes no other byte");
      }
    } catch (const sim::CaptureError& e) {
      FUZZ_REQUIRE(e.Where() == 0, "the error names the placement");
    }
  }
  return 0;
}
