// Well-formedness of one SMBIOS structure, decided from its bytes alone (formatted area and string set).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Longest string the table accepts, in characters (the NUL not counted).
constexpr size_t kSmbiosMaxStringLength = 63;

struct SmbiosStringField {
  uint8_t offset;
  const char* name;
};

// The formatted-area fields that hold string numbers for the types this table decodes
// (0, 1, 2, 3, 8, 9, 26, 27, 28, 29, 39, 41; type 40 entries are walked separately). Fields beyond
// Length are not part of the record and are skipped.
std::vector<SmbiosStringField> SmbiosStringFields(const uint8_t* record, size_t formatted_length);

struct SmbiosRecordCheck {
  bool ok = false;
  std::string problem;               // why the record is malformed (empty when ok)
  size_t size = 0;                   // formatted area + string set, final NUL included (when ok)
  std::vector<std::string> strings;  // the string set, in order (when ok)
};

// Checks a record whose bytes may be read up to `available` bytes from `record`:
// Length >= 4; a string set that ends (two NULs, or one NUL right after strings) within `available`;
// no string of 64 characters or more; no empty string inside the set; every string number in a known
// field at most the number of strings.
SmbiosRecordCheck CheckSmbiosRecord(const uint8_t* record, size_t available);

// Builds the bytes of a record from its formatted area (header included; Length is taken as given) and strings.
std::vector<uint8_t> BuildSmbiosRecord(const std::vector<uint8_t>& formatted, const std::vector<std::string>& strings);

}  // namespace sim
