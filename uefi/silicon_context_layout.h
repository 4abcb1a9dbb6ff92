// Byte positions of the platform's silicon data record (SiliconContext): the platform fills the record and
// the register-access service reads (and caches into) these positions; no other position is used.
#pragma once
#include "uefi/base_types.h"

namespace SiliconContextLayout {
constexpr UINT32 MmcfgHighWord = 0x14F54;   // + 4 * segment: word read as the high word of the base
constexpr UINT32 MmcfgLowWord = 0x14F58;    // + 4 * segment: low word of the segment's MMCFG base
constexpr UINT32 SocketTopology = 0x14F78;  // start of the socket topology block
constexpr UINT32 CacheKey1 = 0x2B8F0;       // u32: CSR Address with bits 0-11 cleared
constexpr UINT32 CacheKey2 = 0x2B8F4;       // u32: CSR record word 1
constexpr UINT32 CachedPageBase = 0x2B8F8;  // u32: translated address with bits 0-11 cleared
constexpr UINT32 CacheEnable = 0x2B8FC;     // u8: cache consulted only while nonzero
constexpr UINT32 Size = 0x2B900;            // bytes a producer must provide for every position above
// The cache's four words follow each other, and every position lies inside the record.
static_assert(CacheKey2 == CacheKey1 + 4 && CachedPageBase == CacheKey2 + 4 && CacheEnable == CachedPageBase + 4,
              "the cache is four consecutive words");
static_assert(MmcfgHighWord + 4 == MmcfgLowWord && MmcfgLowWord < SocketTopology, "MMCFG words before the topology");
static_assert(CacheEnable + 1 <= Size, "the cache lies inside the record");
}  // namespace SiliconContextLayout

// Positions inside the SocketTopology block.
namespace SocketTopologyLayout {
constexpr UINT32 StackBus = 1;             // + 6 * socket + stack: bus number
constexpr UINT32 CpuType = 11;             // u8
constexpr UINT32 CpuSocketMap = 13;        // u32 bitmap
constexpr UINT32 FpgaSocketMap = 17;       // u32 bitmap
constexpr UINT32 InstancesPerDevice = 27;  // u8, D
}  // namespace SocketTopologyLayout
