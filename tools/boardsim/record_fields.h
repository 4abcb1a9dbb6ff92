// Read access to one SMBIOS structure's formatted area and strings, for the record decoders.
// Fields past the formatted area's Length read as absent, never past the bytes given.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace boardsim {

class RecordFields {
 public:
  // bytes: the formatted area (header included), optionally followed by the string set.
  RecordFields(std::vector<uint8_t> bytes, std::vector<std::string> strings);

  uint8_t Type() const { return bytes_.empty() ? 0 : bytes_[0]; }
  size_t Length() const { return length_; }  // formatted area, bounded by the bytes given
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  const std::vector<std::string>& Strings() const { return strings_; }

  bool Has(size_t offset, size_t width) const { return offset + width <= length_; }
  std::optional<uint8_t> U8(size_t offset) const;
  std::optional<uint16_t> U16(size_t offset) const;
  std::optional<uint32_t> U32(size_t offset) const;
  // The string a string-number field names: "1 \"text\"", "0 (none)" or "5 (missing: 2 strings)".
  std::optional<std::string> StringField(size_t offset) const;

 private:
  std::vector<uint8_t> bytes_;
  std::vector<std::string> strings_;
  size_t length_;
};

std::string Hex8(uint8_t v);    // "0x0B"
std::string Hex16(uint16_t v);  // "0x000B"
std::string Hex32(uint32_t v);  // "0x0000000B"
// Bytes as "0B 1C ..." (no line breaks).
std::string HexBytes(const uint8_t* bytes, size_t size);
// A value and its name from a table of names indexed by value; "0x07 (unknown value)" beyond it.
std::string Named(uint8_t value, const std::vector<const char*>& names);

}  // namespace boardsim
