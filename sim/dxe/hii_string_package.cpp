// Reads an HII string package: header, language, and the string blocks, giving the strings by ID.
#include "sim/dxe/hii_string_package.h"

#include <cstring>

namespace sim {
namespace {

constexpr uint8_t kStringPackageType = 0x04;
constexpr size_t kFixedHeaderSize = 46;  // package header, HdrSize, StringInfoOffset, LanguageWindow, LanguageName

enum Block : uint8_t {
  kEnd = 0x00,
  kStringScsu = 0x10,
  kStringScsuFont = 0x11,
  kStringsScsu = 0x12,
  kStringsScsuFont = 0x13,
  kStringUcs2 = 0x14,
  kStringUcs2Font = 0x15,
  kStringsUcs2 = 0x16,
  kStringsUcs2Font = 0x17,
  kDuplicate = 0x20,
  kSkip2 = 0x21,
  kSkip1 = 0x22,
  kExt1 = 0x30,
  kExt2 = 0x31,
  kExt4 = 0x32,
};

class Reader {
 public:
  Reader(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
  bool Has(size_t at, size_t n) const { return at <= size_ && n <= size_ - at; }
  uint8_t U8(size_t at) const { return bytes_[at]; }
  uint16_t U16(size_t at) const { return static_cast<uint16_t>(bytes_[at] | bytes_[at + 1] << 8); }
  uint32_t U32(size_t at) const { return U16(at) | static_cast<uint32_t>(U16(at + 2)) << 16; }
  // A NUL-terminated UCS-2 string at `at`; false when it runs past the end.
  bool Ucs2(size_t at, std::u16string* out, size_t* next) const {
    out->clear();
    for (size_t p = at; Has(p, 2); p += 2) {
      char16_t c = U16(p);
      if (c == 0) {
        *next = p + 2;
        return true;
      }
      *out += c;
    }
    return false;
  }
  // A NUL-terminated 8-bit string (SCSU strings hold ASCII here), widened.
  bool Narrow(size_t at, std::u16string* out, size_t* next) const {
    out->clear();
    for (size_t p = at; Has(p, 1); ++p) {
      if (bytes_[p] == 0) {
        *next = p + 1;
        return true;
      }
      *out += static_cast<char16_t>(bytes_[p]);
    }
    return false;
  }

 private:
  const uint8_t* bytes_;
  size_t size_;
};

std::string At(size_t offset) { return " at package offset " + std::to_string(offset); }

}  // namespace

std::string ParseHiiStringPackage(const uint8_t* bytes, size_t size, HiiStringPackageInfo* info) {
  *info = HiiStringPackageInfo{};
  Reader r(bytes, size);
  if (!r.Has(0, kFixedHeaderSize)) return "string package shorter than its fixed header (46 bytes)";
  info->length = r.U16(0) | static_cast<uint32_t>(r.U8(2)) << 16;
  if (r.U8(3) != kStringPackageType) return "package type " + std::to_string(r.U8(3)) + " is not a string package";
  if (info->length != size) {
    return "package length " + std::to_string(info->length) + " differs from the " + std::to_string(size) +
           " bytes it was given";
  }
  info->header_size = r.U32(4);
  info->string_info_offset = r.U32(8);
  info->language_name = r.U16(44);
  if (info->header_size < kFixedHeaderSize + 1 || info->header_size > size) {
    return "HdrSize " + std::to_string(info->header_size) + " outside 47.." + std::to_string(size);
  }
  size_t language_end = kFixedHeaderSize;
  while (language_end < info->header_size && r.U8(language_end) != 0) ++language_end;
  if (language_end >= info->header_size) return "language not NUL-terminated within HdrSize";
  info->language.assign(reinterpret_cast<const char*>(bytes) + kFixedHeaderSize, language_end - kFixedHeaderSize);
  if (info->language.empty()) return "empty language";
  if (info->string_info_offset < info->header_size || info->string_info_offset >= size) {
    return "StringInfoOffset " + std::to_string(info->string_info_offset) + " outside the blocks (" +
           std::to_string(info->header_size) + ".." + std::to_string(size - 1) + ")";
  }

  uint32_t id = 1;
  size_t at = info->string_info_offset;
  std::u16string text;
  auto add = [&](size_t next) {
    info->strings[static_cast<uint16_t>(id++)] = text;
    at = next;
  };
  while (true) {
    if (!r.Has(at, 1)) return "string blocks run past the package end without an end block";
    uint8_t type = r.U8(at);
    ++info->blocks;
    if (id > 0xFFFF) return "more than 65535 string IDs";
    size_t next = 0;
    switch (type) {
      case kEnd:
        if (at + 1 != size) {
          return std::to_string(size - at - 1) + " bytes follow the end block" + At(at);
        }
        if (info->language_name != 0 && !info->strings.count(info->language_name)) {
          return "LanguageName names string ID " + std::to_string(info->language_name) + ", which is not defined";
        }
        return "";
      case kStringUcs2:
        if (!r.Ucs2(at + 1, &text, &next)) return "UCS-2 string not NUL-terminated" + At(at);
        add(next);
        break;
      case kStringUcs2Font:
        if (!r.Has(at + 1, 1) || !r.Ucs2(at + 2, &text, &next)) return "UCS-2 string not NUL-terminated" + At(at);
        add(next);
        break;
      case kStringScsu:
        if (!r.Narrow(at + 1, &text, &next)) return "SCSU string not NUL-terminated" + At(at);
        add(next);
        break;
      case kStringScsuFont:
        if (!r.Has(at + 1, 1) || !r.Narrow(at + 2, &text, &next)) return "SCSU string not NUL-terminated" + At(at);
        add(next);
        break;
      case kStringsUcs2:
      case kStringsUcs2Font:
      case kStringsScsu:
      case kStringsScsuFont: {
        bool font = type == kStringsUcs2Font || type == kStringsScsuFont;
        size_t count_at = at + 1 + (font ? 1 : 0);
        if (!r.Has(count_at, 2)) return "string count past the package end" + At(at);
        uint16_t count = r.U16(count_at);
        at = count_at + 2;
        bool wide = type == kStringsUcs2 || type == kStringsUcs2Font;
        for (uint16_t i = 0; i < count; ++i) {
          bool ok = wide ? r.Ucs2(at, &text, &next) : r.Narrow(at, &text, &next);
          if (!ok) return "string " + std::to_string(i + 1) + " of a string list not NUL-terminated" + At(at);
          add(next);
        }
        break;
      }
      case kDuplicate:
        if (!r.Has(at + 1, 2)) return "duplicate block past the package end" + At(at);
        if (!info->strings.count(r.U16(at + 1))) return "duplicate of an undefined string ID" + At(at);
        text = info->strings[r.U16(at + 1)];
        add(at + 3);
        break;
      case kSkip1:
        if (!r.Has(at + 1, 1)) return "skip block past the package end" + At(at);
        id += r.U8(at + 1);
        at += 2;
        break;
      case kSkip2:
        if (!r.Has(at + 1, 2)) return "skip block past the package end" + At(at);
        id += r.U16(at + 1);
        at += 3;
        break;
      case kExt1:
      case kExt2:
      case kExt4: {
        size_t width = type == kExt1 ? 1 : type == kExt2 ? 2 : 4;
        if (!r.Has(at + 2, width)) return "extended block past the package end" + At(at);
        size_t length = width == 1 ? r.U8(at + 2) : width == 2 ? r.U16(at + 2) : r.U32(at + 2);
        if (length < 2 + width || !r.Has(at, length)) return "extended block length " + std::to_string(length) + At(at);
        at += length;
        break;
      }
      default: return "unknown string block type " + std::to_string(type) + At(at);
    }
  }
}

std::string Utf8FromUcs2(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace sim
