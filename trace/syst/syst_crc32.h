// The reflected CRC-32 (polynomial 0xEDB88320) of SyS-T message trailers, with its constant table.
#pragma once
#include "uefi/base_types.h"

struct SystCrc32TableImage {
  UINT32 Entries[256];
};

constexpr SystCrc32TableImage MakeSystCrc32Table() {
  SystCrc32TableImage Table{};
  for (UINT32 i = 0; i < 256; ++i) {
    UINT32 Value = i;
    for (int Bit = 0; Bit < 8; ++Bit) Value = (Value & 1) ? (Value >> 1) ^ 0xEDB88320u : Value >> 1;
    Table.Entries[i] = Value;
  }
  return Table;
}
inline constexpr SystCrc32TableImage SystCrc32Table = MakeSystCrc32Table();
static_assert(SystCrc32Table.Entries[1] == 0x77073096u && SystCrc32Table.Entries[2] == 0xEE0E612Cu,
              "standard reflected CRC-32 table");

constexpr UINT32 SystCrc32Initial = 0xFFFFFFFFu;

// Folds one byte into a running CRC (initial value SystCrc32Initial, complemented at the end).
constexpr UINT32 SystCrc32Fold(UINT32 Crc, UINT8 Byte) {
  return SystCrc32Table.Entries[(Crc ^ Byte) & 0xFF] ^ (Crc >> 8);
}
