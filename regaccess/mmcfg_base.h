// MMCFG base resolution for a register address record, and the McfgTable format it reads.
#pragma once
#include "regaccess/register_address.h"
#include "uefi/base_types.h"

// PCD tokens read through the PCD PPI.
constexpr UINTN PcdTokenDefaultMmcfgBase = 44;  // 64-bit value; the low 32 bits are used
constexpr UINTN PcdTokenMcfgTable = 60;         // pointer to the platform's McfgTable

// McfgTable byte positions (little-endian): a 16-byte header, then one 16-byte entry per segment.
namespace McfgTableLayout {
constexpr UINT32 Signature = 0;  // "MCFG", not checked
constexpr UINT32 Length = 4;     // u32: 16 + 16 * entries; 0 marks an absent platform table
constexpr UINT32 FirstEntry = 16;
constexpr UINT32 EntrySize = 16;
constexpr UINT32 EntryBase = 0;       // u64 window base; 0 = unknown
constexpr UINT32 EntrySegment = 8;    // u16
constexpr UINT32 EntryFirstBus = 10;  // u8
constexpr UINT32 EntryLastBus = 11;   // u8
}  // namespace McfgTableLayout

// Segments whose MMCFG words the SiliconContext holds (0x14F58 up to the socket topology block).
constexpr UINT32 ContextMmcfgSegments = 8;

constexpr UINT32 DefaultMcfgEntries = 8;
struct McfgTableImage {
  UINT8 Bytes[16 + 16 * DefaultMcfgEntries];
};

// The module's fallback table: segment 0 at 0x80000000, segments 1-7 unknown, buses 0-255 each.
constexpr McfgTableImage MakeDefaultMcfgTable() {
  McfgTableImage Table{};
  const UINT8 Header[16] = {'M', 'C', 'F', 'G', sizeof(Table.Bytes), 0, 0, 0, 0x01, 0x08, 0xFF, 0, 0, 0, 0, 0};
  for (UINT32 i = 0; i < 16; ++i) Table.Bytes[i] = Header[i];
  for (UINT32 s = 0; s < DefaultMcfgEntries; ++s) {
    UINT8 *Entry = Table.Bytes + McfgTableLayout::FirstEntry + s * McfgTableLayout::EntrySize;
    if (s == 0) Entry[McfgTableLayout::EntryBase + 3] = 0x80;
    Entry[McfgTableLayout::EntrySegment] = static_cast<UINT8>(s);
    Entry[McfgTableLayout::EntryLastBus] = 0xFF;  // the first bus stays 0 from Table{}
  }
  return Table;
}
inline constexpr McfgTableImage DefaultMcfgTable = MakeDefaultMcfgTable();

// The 32-bit MMCFG base of the record's segment: from the record's SiliconContext when it names one,
// else from the platform table (PCD 60), else from DefaultMcfgTable; a zero or missing base ends at
// PCD 44. A segment beyond the source's entries counts as a missing base.
UINT32 GetMmcfgBase(const RegisterAddress *Record);
