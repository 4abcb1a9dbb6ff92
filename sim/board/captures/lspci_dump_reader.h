// Reading the PCI utilities' dump text (`lspci -x`, `-xxx`, `-xxxx`, also with -v decode lines): per function a
// `BB:DD.F description` (or `DDDD:BB:DD.F ...`) line, then `OO: hh hh ...` lines of 16 bytes from offset 0,
// functions separated by a blank line. Text only, no I/O; total over any input.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sim/pci/pci_location.h"

namespace sim {

struct DumpedFunction {
  PciLocation location;
  std::string description;      // the header line after the location
  std::vector<uint8_t> config;  // 64, 256 or 4096 bytes
  size_t line = 0;              // 1-based line of the header
};

// The functions in dump order. Throws CaptureError (with the line) for: a malformed header or data line, a line
// of fewer than 16 bytes, an offset other than the next one, bytes past 4096, a function whose bytes stop at a
// length other than 64, 256 or 4096, the same function twice, data or decode lines before any header.
// Indented lines inside a function (lspci -v decode) are skipped; CR before LF is ignored.
std::vector<DumpedFunction> ReadLspciDump(std::string_view text);

}  // namespace sim
