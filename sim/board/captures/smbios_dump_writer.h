// Writing the binary layout of `dmidecode --dump-bin` (read back by smbios_table_reader.h): an SMBIOS entry point
// at offset 0 whose table address is 0x20, and the structure table at offset 0x20, ending with an End-of-Table
// (type 127) structure.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/dxe/smbios_table.h"

namespace sim {

enum class EntryPointKind {
  Smbios21,  // "_SM_" / "_DMI_" 32-bit entry point (SMBIOS 2.8), with structure count
  Smbios30,  // "_SM3_" 64-bit entry point (SMBIOS 3.0)
};

constexpr size_t kDumpTableOffset = 0x20;
constexpr uint8_t kEndOfTableType = 127;

// The structure table: each record's bytes with its handle in the header, then a type 127 record (unless the
// last record already is one) with a handle no other record uses.
std::vector<uint8_t> BuildStructureTable(const std::vector<SmbiosRecordView>& records, size_t* structure_count,
                                         size_t* largest_structure);
// The whole dump file.
std::vector<uint8_t> BuildDmiDump(const std::vector<SmbiosRecordView>& records, EntryPointKind kind);

}  // namespace sim
