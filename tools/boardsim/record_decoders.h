// Field-by-field decoders of SMBIOS structure types, one per type in its own file (decode_typeN.cpp),
// listed in the table of record_decoders.cpp. A decoder turns bytes into named fields; it does no I/O.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/boardsim/record_fields.h"

namespace boardsim {

struct DecodedField {
  std::string name;
  std::string value;
  int depth = 0;  // nesting level under the previous field of lower depth (entries, blocks)
  bool operator==(const DecodedField&) const = default;
};

using RecordDecoder = std::vector<DecodedField> (*)(const RecordFields& record);

struct DecoderEntry {
  uint8_t type;
  const char* name;  // the SMBIOS structure name
  RecordDecoder decode;
};

// The decoder of a type, or nullptr.
const DecoderEntry* FindDecoder(uint8_t type);

std::vector<DecodedField> DecodeType1(const RecordFields& record);
std::vector<DecodedField> DecodeType9(const RecordFields& record);
std::vector<DecodedField> DecodeType39(const RecordFields& record);
std::vector<DecodedField> DecodeType40(const RecordFields& record);
std::vector<DecodedField> DecodeType41(const RecordFields& record);

// Helpers shared by the decoders: a field is added only when the formatted area holds it.
void AddString(std::vector<DecodedField>& out, const RecordFields& r, size_t offset, const char* name);
void AddU8(std::vector<DecodedField>& out, const RecordFields& r, size_t offset, const char* name);
void AddU16(std::vector<DecodedField>& out, const RecordFields& r, size_t offset, const char* name);
void AddNamed(std::vector<DecodedField>& out, const RecordFields& r, size_t offset, const char* name,
              const std::vector<const char*>& names);
// A PCI device/function byte: "0x08 (device 1, function 0)", added when the formatted area holds it.
void AddDeviceFunction(std::vector<DecodedField>& out, const RecordFields& r, size_t offset, const char* name);
// Names of the set bits of value (bit i named names[i]); "none" when no named bit is set.
std::string BitNames(uint32_t value, const std::vector<const char*>& names);

}  // namespace boardsim
