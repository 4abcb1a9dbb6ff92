// Keeps the non-volatile variables of a variable store in a text file between runs.
#include "sim/dxe/nvram_file.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "sim/dxe/protocol_names.h"

namespace sim {
namespace {

[[noreturn]] void Fail(const std::string& file, int line, const std::string& field, const std::string& problem,
                       const std::string& fix) {
  throw NvramFileError(file + ":" + std::to_string(line) + ": field " + field + ": " + problem + " (" + fix + ")");
}

bool ParseGuid(const std::string& text, EFI_GUID* guid) {
  unsigned d1, d2, d3, b[8];
  char tail;
  if (text.size() != 36 || std::sscanf(text.c_str(), "%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x%c", &d1, &d2, &d3, &b[0],
                                       &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7], &tail) != 11) {
    return false;
  }
  guid->Data1 = d1;
  guid->Data2 = static_cast<UINT16>(d2);
  guid->Data3 = static_cast<UINT16>(d3);
  for (int i = 0; i < 8; ++i) guid->Data4[i] = static_cast<UINT8>(b[i]);
  return true;
}

bool ParseHex(const std::string& text, std::vector<uint8_t>* bytes) {
  if (text == "-") return true;  // no data
  if (text.size() % 2 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    if (!std::isxdigit(static_cast<unsigned char>(text[i])) ||
        !std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
      return false;
    }
    bytes->push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  }
  return true;
}

// The name as one word: spaces are escaped like other characters outside the printable set.
std::string NameWord(const std::u16string& name) {
  std::string out;
  for (char c : VariableNameToString(name)) out += c == ' ' ? std::string("\\u0020") : std::string(1, c);
  return out;
}

}  // namespace

std::string NvramText(const VariableStore& store) {
  std::string out = "# Non-volatile UEFI variables: GUID NAME ATTRIBUTES DATA (hex, '-' when empty)\n";
  for (const StoredVariable& v : store.All()) {
    if (!(v.attributes & EFI_VARIABLE_NON_VOLATILE) || !v.written) continue;
    char attributes[16];
    std::snprintf(attributes, sizeof(attributes), "0x%08X", v.attributes);
    out += GuidToString(v.vendor) + " " + NameWord(v.name) + " " + attributes + " ";
    if (v.data.empty()) out += "-";
    for (uint8_t b : v.data) {
      char hex[3];
      std::snprintf(hex, sizeof(hex), "%02x", b);
      out += hex;
    }
    out += "\n";
  }
  return out;
}

void ParseNvramText(const std::string& text, const std::string& file, VariableStore& store) {
  std::istringstream lines(text);
  std::string line;
  std::vector<StoredVariable> parsed;
  for (int number = 1; std::getline(lines, line); ++number) {
    std::istringstream words(line);
    std::string guid_text, name, attributes_text, data_text, extra;
    if (!(words >> guid_text) || guid_text[0] == '#') continue;
    StoredVariable v;
    if (!ParseGuid(guid_text, &v.vendor)) {
      Fail(file, number, "guid", "'" + guid_text + "' is not a GUID", "write it as 8-4-4-4-12 hex digits");
    }
    if (!(words >> name >> attributes_text >> data_text)) {
      Fail(file, number, "variable", "the line has fewer than four fields", "write GUID NAME ATTRIBUTES DATA");
    }
    if (words >> extra) Fail(file, number, "variable", "unexpected text '" + extra + "'", "remove it");
    v.name = VariableNameFromString(name);
    char* end = nullptr;
    unsigned long attributes = std::strtoul(attributes_text.c_str(), &end, 0);
    if (*end != 0 || attributes > 0xFFFFFFFFul) {
      Fail(file, number, "attributes", "'" + attributes_text + "' is not a number", "write e.g. 0x00000003");
    }
    v.attributes = static_cast<uint32_t>(attributes);
    if (!ParseHex(data_text, &v.data)) {
      Fail(file, number, "data", "'" + data_text.substr(0, 16) + "...' is not an even number of hex digits",
           "write the bytes as hex pairs, or '-' for no data");
    }
    parsed.push_back(std::move(v));
  }
  for (StoredVariable& v : parsed) store.Put(v.name, v.vendor, v.attributes, std::move(v.data), true);
}

bool LoadNvramFile(const std::string& path, VariableStore& store) {
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw NvramFileError(path + ": cannot be read (check its permissions)");
  std::stringstream text;
  text << in.rdbuf();
  ParseNvramText(text.str(), path, store);
  return true;
}

void SaveNvramFile(const std::string& path, const VariableStore& store) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw NvramFileError(path + ": cannot be written (check the directory exists and is writable)");
  out << NvramText(store);
  if (!out.flush()) throw NvramFileError(path + ": writing failed (check free space)");
}

}  // namespace sim
