// Read access to one SMBIOS structure's formatted area and strings, for the record decoders.
#include "tools/boardsim/record_fields.h"

#include "sim/common/hex_text.h"

namespace boardsim {

RecordFields::RecordFields(std::vector<uint8_t> bytes, std::vector<std::string> strings)
    : bytes_(std::move(bytes)), strings_(std::move(strings)) {
  length_ = bytes_.size() < 2 ? 0 : std::min<size_t>(bytes_[1], bytes_.size());
}

std::optional<uint8_t> RecordFields::U8(size_t offset) const {
  if (!Has(offset, 1)) return std::nullopt;
  return bytes_[offset];
}

std::optional<uint16_t> RecordFields::U16(size_t offset) const {
  if (!Has(offset, 2)) return std::nullopt;
  return static_cast<uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
}

std::optional<uint32_t> RecordFields::U32(size_t offset) const {
  if (!Has(offset, 4)) return std::nullopt;
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | bytes_[offset + i];
  return v;
}

std::optional<std::string> RecordFields::StringField(size_t offset) const {
  std::optional<uint8_t> n = U8(offset);
  if (!n) return std::nullopt;
  if (*n == 0) return std::string("0 (none)");
  if (*n > strings_.size()) {
    return std::to_string(*n) + " (missing: " + std::to_string(strings_.size()) + " strings)";
  }
  return std::to_string(*n) + " \"" + strings_[*n - 1] + "\"";
}

std::string Hex8(uint8_t v) { return sim::Hex(v, 2); }
std::string Hex16(uint16_t v) { return sim::Hex(v, 4); }
std::string Hex32(uint32_t v) { return sim::Hex(v, 8); }

std::string HexBytes(const uint8_t* bytes, size_t size) {
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    if (i) out += ' ';
    out += sim::Hex(bytes[i], 2).substr(2);
  }
  return out;
}

std::string Named(uint8_t value, const std::vector<const char*>& names) {
  if (value < names.size() && names[value] != nullptr) return Hex8(value) + " (" + names[value] + ")";
  return Hex8(value) + " (unknown value)";
}

}  // namespace boardsim
