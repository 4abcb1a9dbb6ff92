// The register-access harnesses' input: a simulated PEI platform (PCD 44, the MCFG table, the context's MMCFG
// words, socket topology and CSR cache), then one record and the operation run on it.
#pragma once
#include <cstdint>
#include <vector>

#include "fuzz/support/fuzz_input.h"
#include "regaccess/register_address.h"
#include "sim/pei/pei_platform_config.h"
#include "uefi/silicon_context_layout.h"

namespace fuzz {

constexpr uint64_t kRegaccessWindowBase = 0x80000000u;
constexpr uint64_t kRegaccessWindowSize = 256ull << 20;

// An MMCFG base: none, the window's, just past it, or anywhere on a 4 KiB boundary (configuration windows are
// aligned far beyond that; the CSR page cache relies on it). With `high`, "anywhere" stays in
// [0x80000000, 0xF0000000) and none becomes the window's, so no register address falls below 2 GiB or wraps
// past 4 GiB: there an emulated image holds its own memory, which the host's bus knows nothing of.
inline uint32_t RegaccessBase(FuzzInput& in, bool high) {
  uint8_t pick = in.U8() % 4;
  if (pick == 0) return high ? static_cast<uint32_t>(kRegaccessWindowBase) : 0;
  if (pick == 1) return static_cast<uint32_t>(kRegaccessWindowBase);
  if (pick == 2) return 0x90000000u;
  const uint32_t any = in.U32() & ~0xFFFu;
  return high ? (0x80000000u | (any & 0x6FFFF000u)) : any;
}

inline sim::PeiPlatformConfig RegaccessPlatform(FuzzInput& in, bool high) {
  sim::PeiPlatformConfig config;
  config.config_windows[0].functions = {{0, 31, 2, {{0, 4, 0x12345678u}}}, {1, 0, 0, {}}, {0x16, 0, 0, {}}};
  config.default_mmcfg_base = in.Bit() ? kRegaccessWindowBase : RegaccessBase(in, high);
  config.mcfg_table.published = in.Bit();
  size_t entries = in.U8() % 4;
  for (size_t i = 0; i < entries; ++i)
    config.mcfg_table.entries.push_back({RegaccessBase(in, high), static_cast<uint16_t>(in.U8() % 10), 0, 255});
  // The producer's length word may claim fewer entries than it holds, or none (0: absent), never more.
  if (in.Bit()) config.mcfg_table.length = in.U8() % (16 + 16 * entries + 1);
  // MMCFG words of eight segments, then the socket topology block and the CSR cache.
  // Word k is the high word of segment k's base and the low word of segment k - 1's.
  size_t words = in.U8() % 10;
  uint32_t word[9] = {};
  bool written[9] = {};
  for (size_t i = 0; i < words; ++i) {
    const unsigned k = in.U8() % 9;
    word[k] = RegaccessBase(in, high);
    written[k] = true;
  }
  // With `high`, a base whose high word is set and low word 0 is not 0, so it is used, and its 32 bits are 0:
  // the low word is then set as well (the window's base).
  for (unsigned k = 0; high && k < 8; ++k) {
    if (word[k] != 0 && word[k + 1] == 0) {
      word[k + 1] = static_cast<uint32_t>(kRegaccessWindowBase);
      written[k + 1] = true;
    }
  }
  for (unsigned k = 0; k < 9; ++k) {
    if (written[k])
      config.silicon_context.push_back(sim::ContextWord32(SiliconContextLayout::MmcfgHighWord + 4 * k, word[k]));
  }
  config.silicon_context.push_back({SiliconContextLayout::SocketTopology, in.Sized(64)});
  if (in.Bit()) {
    config.silicon_context.push_back(sim::ContextWord32(SiliconContextLayout::CacheKey1, in.U32()));
    config.silicon_context.push_back(sim::ContextWord32(SiliconContextLayout::CacheKey2, in.U32()));
    config.silicon_context.push_back(sim::ContextWord32(SiliconContextLayout::CachedPageBase, RegaccessBase(in, high)));
  }
  config.silicon_context.push_back({SiliconContextLayout::CacheEnable, {in.U8()}});
  return config;
}

// One operation on one record.
struct RegaccessOperation {
  RegisterAddress record{};
  uint32_t type = 0;
  uint32_t operation = 1;  // 1 read, 2 write, 3 modify
  size_t misalign = 0;
  bool null_buffer = false;
  std::vector<uint8_t> and_bytes, or_bytes;
  bool and_null = false, or_null = false;
};

inline RegaccessOperation DecodeRegaccessOperation(FuzzInput& in, uint32_t context) {
  RegaccessOperation op;
  op.record.Address = in.U32();
  op.record.Word1 = in.U32();
  op.record.Word1 = (op.record.Word1 & 0xFFFF) | ((op.record.Word1 >> 16) % 200) << 16;  // Count kept small
  op.type = in.U8() % 4;
  op.record.Attribute = op.type | (static_cast<uint32_t>(in.U8() & 0xF) << 8) | (in.U32() & 0xFFFFF000u);
  op.record.Context = in.Bit() ? context : 0;
  op.operation = 1 + in.U8() % 3;
  op.misalign = in.U8() % 8;
  op.null_buffer = in.U8() == 0xFF;
  op.and_bytes = in.Bytes(8);
  op.or_bytes = in.Bytes(8);
  op.and_bytes.resize(8, 0xFF);
  op.or_bytes.resize(8, 0);
  op.and_null = in.Bit();
  op.or_null = in.Bit();
  return op;
}

}  // namespace fuzz
