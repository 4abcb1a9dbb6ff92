// Reads an HII string package (type 0x04): header, language, and the string blocks, giving the strings by ID.
// Checks the structure: every field and block inside the package, the language NUL-terminated, the blocks
// ending with an end block, the language-name ID naming a string.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace sim {

struct HiiStringPackageInfo {
  uint32_t length = 0;  // package length from its header
  uint32_t header_size = 0;
  uint32_t string_info_offset = 0;
  uint16_t language_name = 0;                  // string ID of the language's name
  std::string language;                        // e.g. "en-US"
  std::map<uint16_t, std::u16string> strings;  // by string ID (1-based)
  size_t blocks = 0;                           // string information blocks, the end block included
};

// Empty string when the package (bytes, `size` of them, header included) is well formed; else what is wrong.
std::string ParseHiiStringPackage(const uint8_t* bytes, size_t size, HiiStringPackageInfo* info);

// UCS-2 to UTF-8, for reports.
std::string Utf8FromUcs2(const std::u16string& text);

}  // namespace sim
