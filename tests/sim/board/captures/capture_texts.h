// Capture contents for the capture-reader tests: dump text of configuration bytes, and configuration spaces.
#pragma once
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace capture_test {

// The lines of one function in the dump format: header, then 16 bytes a line.
inline std::string DumpText(const std::string& header, const std::vector<uint8_t>& bytes) {
  std::string out = header + "\n";
  for (size_t at = 0; at < bytes.size(); at += 16) {
    char line[8];
    std::snprintf(line, sizeof line, at < 0x100 ? "%02zx:" : "%03zx:", at);
    out += line;
    for (size_t i = at; i < at + 16 && i < bytes.size(); ++i) {
      char byte[4];
      std::snprintf(byte, sizeof byte, " %02x", bytes[i]);
      out += byte;
    }
    out += "\n";
  }
  return out;
}

// A configuration space of `size` bytes: vendor, device, class, header type; bridges get their buses.
inline std::vector<uint8_t> Space(size_t size, uint16_t vendor, uint16_t device, uint8_t header_type = 0,
                                  uint8_t secondary = 0, uint8_t subordinate = 0, uint8_t primary = 0) {
  std::vector<uint8_t> s(size, 0);
  s[0] = static_cast<uint8_t>(vendor), s[1] = static_cast<uint8_t>(vendor >> 8);
  s[2] = static_cast<uint8_t>(device), s[3] = static_cast<uint8_t>(device >> 8);
  s[0x0B] = header_type == 1 ? 0x06 : 0x02;  // bridge or network controller
  s[0x0A] = header_type == 1 ? 0x04 : 0x00;
  s[0x0E] = header_type;
  if (header_type == 1) s[0x18] = primary, s[0x19] = secondary, s[0x1A] = subordinate;
  return s;
}

// A test-row name as GoogleTest takes it: letters and digits, the rest as `_`.
inline std::string RowName(std::string name) {
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

}  // namespace capture_test
