// Typed reads of board-file values; every failure names the file, line, field path and fix.
#include "sim/board/board_file_context.h"

#include <cctype>
#include <set>

#include "sim/common/hex_text.h"

namespace sim {

namespace {

int LineOf(const YAML::Node& node) { return node.Mark().line >= 0 ? node.Mark().line + 1 : 0; }

bool ParseUnsigned(const std::string& text, uint64_t* out) {
  if (text.empty()) return false;
  int base = 10;
  size_t i = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    i = 2;
  }
  uint64_t v = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
      digit = static_cast<unsigned>(std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    } else {
      return false;
    }
    if (v > (UINT64_MAX - digit) / static_cast<unsigned>(base)) return false;
    v = v * static_cast<unsigned>(base) + digit;
  }
  *out = v;
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void BoardFileContext::Fail(const YAML::Node& node, const std::string& field, const std::string& problem,
                            const std::string& fix) const {
  throw BoardFileError(file_, LineOf(node), field, problem, fix);
}

std::string BoardFileContext::Origin(const YAML::Node& node) const {
  return file_ + ":" + std::to_string(LineOf(node));
}

void BoardFileContext::RequireMap(const YAML::Node& node, const std::string& field,
                                  std::initializer_list<const char*> allowed) const {
  if (!node.IsMap()) Fail(node, field, "expected a mapping of keys to values", "write `key: value` lines under it");
  std::string list;
  for (const char* a : allowed) list += std::string(list.empty() ? "" : ", ") + a;
  std::set<std::string> seen;
  for (auto it = node.begin(); it != node.end(); ++it) {
    const std::string key = it->first.Scalar();
    bool known = false;
    for (const char* a : allowed) known = known || key == a;
    const std::string path = field.empty() ? key : field + "." + key;
    if (!known) Fail(it->first, path, "unknown key `" + key + "`", "use one of: " + list);
    if (!seen.insert(key).second) Fail(it->first, path, "key `" + key + "` given twice", "keep one of them");
  }
}

void BoardFileContext::RequireSequence(const YAML::Node& node, const std::string& field) const {
  if (!node.IsSequence()) Fail(node, field, "expected a list", "write one `- item` per entry");
}

uint64_t BoardFileContext::Unsigned(const YAML::Node& node, const std::string& field, uint64_t max) const {
  uint64_t v = 0;
  const std::string fix = "write a number from 0 to " + std::to_string(max) + " (" + Hex(max) + "), decimal or 0x hex";
  if (!node.IsScalar() || !ParseUnsigned(node.Scalar(), &v)) {
    Fail(node, field, "`" + (node.IsScalar() ? node.Scalar() : std::string("(not a value)")) + "` is not a number",
         fix);
  }
  if (v > max) Fail(node, field, node.Scalar() + " is too large", fix);
  return v;
}

bool BoardFileContext::Boolean(const YAML::Node& node, const std::string& field) const {
  if (node.IsScalar()) {
    const std::string& s = node.Scalar();
    if (s == "true" || s == "yes" || s == "1") return true;
    if (s == "false" || s == "no" || s == "0") return false;
  }
  Fail(node, field, "not a yes/no value", "write true or false");
}

std::string BoardFileContext::String(const YAML::Node& node, const std::string& field) const {
  if (!node.IsScalar()) Fail(node, field, "expected a text value", "write the text, quoted if it contains ':' or '#'");
  return node.Scalar();
}

std::vector<uint8_t> BoardFileContext::HexBytes(const YAML::Node& node, const std::string& field) const {
  std::vector<uint8_t> out;
  const std::string fix = "write hex byte pairs such as \"01 1a ff\" or a list of numbers 0..255";
  if (node.IsSequence()) {
    for (size_t i = 0; i < node.size(); ++i) {
      out.push_back(static_cast<uint8_t>(Unsigned(node[i], field + "[" + std::to_string(i) + "]", 0xFF)));
    }
    return out;
  }
  if (!node.IsScalar()) Fail(node, field, "expected hex bytes", fix);
  const std::string& s = node.Scalar();
  int high = -1;
  for (char c : s) {
    if (c == ' ' || c == ':' || c == '\t') {
      if (high >= 0) Fail(node, field, "odd number of hex digits in a byte", fix);
      continue;
    }
    const int v = HexValue(c);
    if (v < 0) Fail(node, field, std::string("`") + c + "` is not a hex digit", fix);
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  if (high >= 0) Fail(node, field, "odd number of hex digits", fix);
  return out;
}

EFI_GUID BoardFileContext::Guid(const YAML::Node& node, const std::string& field) const {
  const std::string fix = "write the GUID as 8-4-4-4-12 hex digits, e.g. 00000000-0000-0000-0000-000000000000";
  if (!node.IsScalar()) Fail(node, field, "expected a GUID", fix);
  const std::string& s = node.Scalar();
  static const int kGroups[] = {8, 4, 4, 4, 12};
  uint8_t digits[32];
  size_t n = 0, pos = 0;
  for (int g = 0; g < 5; ++g) {
    if (g > 0) {
      if (pos >= s.size() || s[pos] != '-') Fail(node, field, "`" + s + "` is not a GUID", fix);
      ++pos;
    }
    for (int k = 0; k < kGroups[g]; ++k, ++pos) {
      const int v = pos < s.size() ? HexValue(s[pos]) : -1;
      if (v < 0) Fail(node, field, "`" + s + "` is not a GUID", fix);
      digits[n++] = static_cast<uint8_t>(v);
    }
  }
  if (pos != s.size()) Fail(node, field, "`" + s + "` is not a GUID", fix);
  auto hex = [&](size_t from, size_t count) {
    uint64_t v = 0;
    for (size_t i = 0; i < count; ++i) v = v << 4 | digits[from + i];
    return v;
  };
  EFI_GUID g;
  g.Data1 = static_cast<UINT32>(hex(0, 8));
  g.Data2 = static_cast<UINT16>(hex(8, 4));
  g.Data3 = static_cast<UINT16>(hex(12, 4));
  for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<UINT8>(hex(16 + 2 * i, 2));
  return g;
}

}  // namespace sim
