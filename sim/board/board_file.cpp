// The board-file loader: reads a YAML board file and hands each top-level section to its parser.
//
// How to add a section (for example `pci`):
//  1. Add the section's data as a member of sim::Board (sim/board/board.h).
//  2. Write sim/board/pci_section.cpp with two functions:
//       void ParsePciSection(const YAML::Node&, const BoardFileContext&, Board&)   (YAML -> Board)
//       void ApplyPciSection(const Board&, DxePlatform&)                           (Board -> platform)
//     Use BoardFileContext's readers (RequireMap, Unsigned, HexBytes, ...): their errors carry file, line,
//     field path and fix. Field paths start with the section key ("pci.devices[2].vendor_id").
//  3. Declare the two functions in the list below and add one row to kSections. ApplyBoard applies the
//     sections in table order; keep `faults` last (allocation failures count from driver entry).
//  4. Put an example in boards/ and a test of each error message in tests/sim/board/.
#include "sim/board/board_file.h"

#include <yaml-cpp/yaml.h>

#include <fstream>
#include <sstream>

#include "sim/board/board_sections.h"

namespace sim {

void ParsePcdSection(const YAML::Node&, const BoardFileContext&, Board&);
void ApplyPcdSection(const Board&, DxePlatform&);
void ParseSmbiosSection(const YAML::Node&, const BoardFileContext&, Board&);
void ApplySmbiosSection(const Board&, DxePlatform&);
void ParsePciSection(const YAML::Node&, const BoardFileContext&, Board&);
void ApplyPciSection(const Board&, DxePlatform&);
void ParseBmcSection(const YAML::Node&, const BoardFileContext&, Board&);
void ApplyBmcSection(const Board&, DxePlatform&);
void ParseSmmSection(const YAML::Node&, const BoardFileContext&, Board&);
void ApplySmmSection(const Board&, DxePlatform&);
void ParseSetupSection(const YAML::Node&, const BoardFileContext&, Board&);
void ApplySetupSection(const Board&, DxePlatform&);
void ParseVariablesSection(const YAML::Node&, const BoardFileContext&, Board&);
void ApplyVariablesSection(const Board&, DxePlatform&);
void ParseCsrSection(const YAML::Node&, const BoardFileContext&, Board&);  // PEI only: no DXE apply
void ParseFaultsSection(const YAML::Node&, const BoardFileContext&, Board&);
void ApplyFaultsSection(const Board&, DxePlatform&);

namespace {

const BoardSection kSections[] = {
    {"pcd", ParsePcdSection, ApplyPcdSection},
    {"smbios", ParseSmbiosSection, ApplySmbiosSection},
    {"pci", ParsePciSection, ApplyPciSection},
    {"bmc", ParseBmcSection, ApplyBmcSection},
    {"smm", ParseSmmSection, ApplySmmSection},
    {"setup", ParseSetupSection, ApplySetupSection},
    {"variables", ParseVariablesSection, ApplyVariablesSection},  // after setup: listed variables win
    {"csr", ParseCsrSection, nullptr},
    {"faults", ParseFaultsSection, ApplyFaultsSection},  // last: allocation failures count from driver entry
};

std::string Message(const std::string& file, int line, const std::string& field, const std::string& problem,
                    const std::string& fix) {
  std::string where = file + ":" + std::to_string(line);
  std::string out = where + ": field " + (field.empty() ? "(document)" : field) + ": " + problem;
  if (!fix.empty()) out += " (" + fix + ")";
  return out;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = base.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
}

}  // namespace

BoardFileError::BoardFileError(std::string file, int line, std::string field, std::string problem, std::string fix)
    : std::runtime_error(Message(file, line, field, problem, fix)),
      file_(std::move(file)),
      line_(line),
      field_(std::move(field)) {}

std::span<const BoardSection> BoardSections() { return kSections; }

Board ParseBoardText(const std::string& text, const std::string& file_name) {
  BoardFileContext context(file_name);
  YAML::Node root;
  try {
    root = YAML::Load(text);
  } catch (const YAML::Exception& e) {
    throw BoardFileError(file_name, e.mark.line >= 0 ? e.mark.line + 1 : 0, "", "YAML syntax: " + e.msg,
                         "fix the syntax at that line");
  }
  Board board;
  board.source = file_name;
  board.name = BaseName(file_name);
  if (root.IsNull()) return board;  // an empty file is an empty board
  if (!root.IsMap()) {
    context.Fail(root, "", "a board file is a mapping of sections", "start lines with `name:`, `pcd:`, `smbios:` ...");
  }
  std::string allowed = "name";
  for (const BoardSection& s : kSections) allowed += std::string(", ") + s.key;
  std::vector<std::string> seen;
  for (auto it = root.begin(); it != root.end(); ++it) {
    const std::string key = it->first.Scalar();
    for (const auto& k : seen) {
      if (k == key) context.Fail(it->first, key, "section `" + key + "` given twice", "merge the two into one");
    }
    seen.push_back(key);
    if (key == "name") {
      board.name = context.String(it->second, "name");
      continue;
    }
    const BoardSection* section = nullptr;
    for (const BoardSection& s : kSections) {
      if (key == s.key) section = &s;
    }
    if (section == nullptr) context.Fail(it->first, key, "unknown section `" + key + "`", "use one of: " + allowed);
    if (!it->second.IsNull()) section->parse(it->second, context, board);
  }
  return board;
}

Board LoadBoardFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw BoardFileError(path, 0, "", "cannot read the file", "give the path of an existing board file");
  std::ostringstream text;
  text << in.rdbuf();
  return ParseBoardText(text.str(), path);
}

Board DefaultBoard() { return ParseBoardText(DefaultBoardText(), "boards/default.yaml"); }

}  // namespace sim
