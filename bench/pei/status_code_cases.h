// The four status codes the PEI path is measured with: a progress code (empty line), an error code with
// caller GUID and data record, a debug message of 100 characters and one of 2047 (the longest line).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/pei/status_code_records.h"
#include "uefi/guid.h"

namespace bench {

struct StatusCodeCase {
  const char* name;
  uint32_t type;
  uint32_t value;
  uint32_t instance;
  const EFI_GUID* caller;
  const void* data;
  std::optional<size_t> line_length;  // characters of the line sent (CR LF included), when fixed
};

inline std::vector<StatusCodeCase> MakeStatusCodeCases(sim::StatusCodeRecordArena& arena) {
  using sim::DebugArgument;
  const EFI_GUID caller = {0x23A3E7BA, 0x75D1, 0x4CB9, {0x9C, 0x8F, 0x56, 0xFA, 0x4E, 0x48, 0xD9, 0x9E}};
  const EFI_GUID unknown_type = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
  constexpr uint32_t kInfo = 0x00000040;
  // 98 characters and CR LF.
  const void* debug100 = arena.Debug(
      kInfo, "PlatformMemoryInit: socket %d channel %d DIMM %d %a, %5d MiB at 0x%08x, training passed\n",
      {DebugArgument::Int32(1), DebugArgument::Int32(3), DebugArgument::Int32(0), DebugArgument::String("DDR5 RDIMM"),
       DebugArgument::Int32(32768), DebugArgument::Int32(0x80000000u)});
  const void* debug2047 = arena.Debug(kInfo, "%a\n", {DebugArgument::String(std::string(2045, 'x'))});
  return {
      {"progress", 0x00000001, 0x03020000, 0, nullptr, nullptr, 0},
      {"error", 0x80000002, 0x0301000A, 0, arena.Guid(caller), arena.Raw(unknown_type, {1, 2, 3, 4}),
       std::nullopt},  // the record's address is printed without leading zeros
      {"debug-100", 0x00000003, 0x03020000, 0, nullptr, debug100, 100},
      {"line-2047", 0x00000003, 0x03020000, 0, nullptr, debug2047, 2047},
  };
}

}  // namespace bench
