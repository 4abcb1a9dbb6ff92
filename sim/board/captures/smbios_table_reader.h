// Reading SMBIOS tables captured from a machine: the `dmidecode --dump-bin` file (entry point at offset 0, its
// table address rewritten to 0x20, the table at 0x20) and the kernel's pair /sys/firmware/dmi/tables/
// smbios_entry_point and DMI. Both entry points (2.1 "_SM_", 3.0 "_SM3_"). Bytes in, board records out; total.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/board/board.h"

namespace sim {

struct SmbiosEntryPointFields {
  bool is_30 = false;  // "_SM3_" (else "_SM_" with its "_DMI_" part)
  uint8_t length = 0;  // of the entry point itself
  uint8_t major = 0, minor = 0;
  uint64_t table_address = 0;
  uint32_t table_length = 0;     // 2.1: the table's length; 3.0: its maximum size
  uint16_t structure_count = 0;  // 2.1 only
};

// The entry point at the start of `bytes`. Throws CaptureError (with the offset) for an unknown anchor, a length
// that is not the entry point's or runs past the bytes, or a checksum that does not match.
SmbiosEntryPointFields ReadSmbiosEntryPoint(std::span<const uint8_t> bytes);

// The structures of `table` (offsets in errors are `base` + the offset in the table), handles kept, stopping at
// the end-of-table structure (dropped), after the 2.1 structure count, or at the table's end. `origin` starts
// each record's origin ("dmi.bin offset 0x20"). Throws CaptureError for a structure whose header, formatted area
// or string set runs past the table, a length below 4, a handle used twice or reserved (above 0xFEFF), and a
// record the SMBIOS protocol would refuse.
std::vector<BoardSmbiosRecord> ReadSmbiosStructures(std::span<const uint8_t> table, const SmbiosEntryPointFields& ep,
                                                    size_t base, const std::string& origin);

// A `dmidecode --dump-bin` file. Also throws when the table address is not 0x20 or the table runs past the file.
std::vector<BoardSmbiosRecord> ReadSmbiosDump(std::span<const uint8_t> file, const std::string& origin);

// The sysfs pair. Errors name the file ("smbios_entry_point: ...", "DMI: ..."); DMI must hold the 2.1 table's
// length exactly, or at most the 3.0 maximum.
std::vector<BoardSmbiosRecord> ReadSmbiosSysfs(std::span<const uint8_t> entry_point, std::span<const uint8_t> dmi,
                                               const std::string& origin);

}  // namespace sim
