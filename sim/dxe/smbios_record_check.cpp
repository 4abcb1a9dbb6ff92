// Decoding one SMBIOS structure from its bytes: string set, string-number fields, well-formedness.
#include "sim/dxe/smbios_record_check.h"

#include <cstdio>

#include "sim/common/hex_text.h"

namespace sim {

namespace {

struct TypeFields {
  uint8_t type;
  std::vector<SmbiosStringField> fields;
};

const std::vector<TypeFields>& FixedFields() {
  static const std::vector<TypeFields> table = {
      {0, {{0x04, "Vendor"}, {0x05, "BIOS Version"}, {0x08, "BIOS Release Date"}}},
      {1,
       {{0x04, "Manufacturer"},
        {0x05, "Product Name"},
        {0x06, "Version"},
        {0x07, "Serial Number"},
        {0x19, "SKU Number"},
        {0x1A, "Family"}}},
      {2,
       {{0x04, "Manufacturer"},
        {0x05, "Product"},
        {0x06, "Version"},
        {0x07, "Serial Number"},
        {0x08, "Asset Tag"},
        {0x0A, "Location in Chassis"}}},
      {3, {{0x04, "Manufacturer"}, {0x06, "Version"}, {0x07, "Serial Number"}, {0x08, "Asset Tag Number"}}},
      {8, {{0x04, "Internal Reference Designator"}, {0x06, "External Reference Designator"}}},
      {9, {{0x04, "Slot Designation"}}},
      {26, {{0x04, "Description"}}},
      {27, {{0x0E, "Description"}}},
      {28, {{0x04, "Description"}}},
      {29, {{0x04, "Description"}}},
      {39,
       {{0x05, "Location"},
        {0x06, "Device Name"},
        {0x07, "Manufacturer"},
        {0x08, "Serial Number"},
        {0x09, "Asset Tag Number"},
        {0x0A, "Model Part Number"},
        {0x0B, "Revision Level"}}},
      {41, {{0x04, "Reference Designation"}}},
  };
  return table;
}

}  // namespace

std::vector<SmbiosStringField> SmbiosStringFields(const uint8_t* record, size_t formatted_length) {
  std::vector<SmbiosStringField> out;
  if (formatted_length < 4) return out;
  const uint8_t type = record[0];
  for (const TypeFields& t : FixedFields()) {
    if (t.type != type) continue;
    for (const SmbiosStringField& f : t.fields) {
      if (f.offset < formatted_length) out.push_back(f);
    }
  }
  if (type == 3 && formatted_length > 0x14) {
    // SKU Number follows the contained elements: 0x15 + count * record length.
    const size_t sku = 0x15 + size_t{record[0x13]} * record[0x14];
    if (sku < formatted_length && sku <= 0xFF) out.push_back({static_cast<uint8_t>(sku), "SKU Number"});
  }
  if (type == 40 && formatted_length > 4) {
    // Additional Information entries from offset 5: length, referenced handle, referenced offset, string, value.
    size_t p = 5;
    for (unsigned i = 0; i < record[4] && p < formatted_length; ++i) {
      const uint8_t entry_length = record[p];
      if (entry_length < 5) break;  // reported by CheckSmbiosRecord
      if (p + 4 < formatted_length) out.push_back({static_cast<uint8_t>(p + 4), "Additional Information String"});
      p += entry_length;
    }
  }
  return out;
}

SmbiosRecordCheck CheckSmbiosRecord(const uint8_t* record, size_t available) {
  SmbiosRecordCheck result;
  auto fail = [&](std::string why) {
    result.problem = std::move(why);
    result.strings.clear();
    return result;
  };
  if (record == nullptr) return fail("null record pointer");
  if (available < 4) return fail("fewer than 4 bytes readable for the header");
  const size_t length = record[1];
  if (length < 4) return fail("Length " + std::to_string(length) + " is below the 4-byte header");
  if (length > available)
    return fail("formatted area (Length " + std::to_string(length) + ") runs past the readable " +
                std::to_string(available) + " bytes");
  // The string set.
  size_t p = length;
  auto not_ended = [&] {
    return fail("string set not ended within " + std::to_string(available) + " bytes (no double NUL)");
  };
  if (p + 1 >= available) return not_ended();
  if (record[p] == 0) {
    if (record[p + 1] != 0) return fail("empty string 1 inside the string set (a single NUL followed by text)");
    result.size = length + 2;
  } else {
    for (;;) {
      size_t chars = 0;
      while (p < available && record[p] != 0) {
        ++chars;
        ++p;
        if (chars > kSmbiosMaxStringLength) {
          return fail("string " + std::to_string(result.strings.size() + 1) + " has 64 or more characters");
        }
      }
      if (p >= available) return not_ended();
      result.strings.emplace_back(reinterpret_cast<const char*>(record + p - chars), chars);
      ++p;  // past the terminator
      if (p >= available) return not_ended();
      if (record[p] == 0) {
        result.size = p + 1;
        break;
      }
    }
  }
  // Type 40 entries must be walkable inside the formatted area.
  if (record[0] == 40 && length > 4) {
    size_t q = 5;
    for (unsigned i = 0; i < record[4]; ++i) {
      if (q >= length || record[q] < 5 || q + record[q] > length) {
        return fail("Additional Information entry " + std::to_string(i + 1) + " does not fit the formatted area");
      }
      q += record[q];
    }
  }
  const size_t count = result.strings.size();
  for (const SmbiosStringField& f : SmbiosStringFields(record, length)) {
    if (record[f.offset] > count) {
      return fail(std::string("field ") + f.name + " (offset " + Hex(f.offset, 2) + ") names string " +
                  std::to_string(record[f.offset]) + " but the set holds " + std::to_string(count) + " string" +
                  (count == 1 ? "" : "s"));
    }
  }
  result.ok = true;
  return result;
}

std::vector<uint8_t> BuildSmbiosRecord(const std::vector<uint8_t>& formatted, const std::vector<std::string>& strings) {
  std::vector<uint8_t> out = formatted;
  for (const std::string& s : strings) {
    out.insert(out.end(), s.begin(), s.end());
    out.push_back(0);
  }
  if (strings.empty()) out.push_back(0);
  out.push_back(0);
  return out;
}

}  // namespace sim
