// Functions of an image's code sections from its link map.
#include "tools/image_coverage/code_functions.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <map>

#include "firmware/pe/link_map.h"

namespace image_coverage {

uint32_t SectionContentSize(const pe::Section& section) { return std::min(section.VirtualSize, section.RawSize); }

std::string ReadableName(const std::string& symbol, bool ia32) {
  std::string name = symbol;
  if (ia32 && !name.empty() && name[0] == '_') {
    name.erase(0, 1);
  }
  if (name.rfind("_Z", 0) != 0) {
    return name;
  }
  int status = 0;
  char* demangled = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
  if (status != 0 || demangled == nullptr) {
    std::free(demangled);
    return name;
  }
  std::string result = demangled;
  std::free(demangled);
  return result;
}

std::string NameWithoutParameters(const std::string& name) {
  std::string::size_type close = name.rfind(')');
  if (close == std::string::npos) {
    return name;
  }
  // Only qualifiers may follow the parameter list.
  std::string tail = name.substr(close + 1);
  if (!tail.empty() && tail != " const" && tail != " volatile" && tail != " const volatile") {
    return name;
  }
  int depth = 0;
  for (std::string::size_type i = close + 1; i-- > 0;) {
    if (name[i] == ')') {
      ++depth;
    } else if (name[i] == '(' && --depth == 0) {
      return i == 0 ? name : name.substr(0, i);
    }
  }
  return name;
}

std::vector<CodeFunction> ListCodeFunctions(const pe::Image& image, const std::string& map_text) {
  const bool ia32 = image.Machine == pe::MachineI386;
  // By address: the first symbol listed there names the function, the others are aliases.
  std::map<uint32_t, CodeFunction> by_address;
  for (const pe::MapSymbolLine& line : pe::ReadMapSymbols(map_text)) {
    const pe::Section* section = image.SectionAt(line.Rva);
    if (section == nullptr || !section->Has(pe::ScnCode) ||
        line.Rva - section->VirtualAddress >= SectionContentSize(*section)) {
      continue;
    }
    std::string name = ReadableName(line.Name, ia32);
    auto [it, added] = by_address.try_emplace(line.Rva);
    if (added) {
      it->second.name = name;
      it->second.symbol = line.Name;
      it->second.object = line.Object;
      it->second.rva = line.Rva;
    } else if (it->second.name != name) {
      it->second.name += " = " + name;
    }
  }
  std::vector<CodeFunction> functions;
  for (auto& [rva, function] : by_address) {
    functions.push_back(function);
  }
  for (size_t i = 0; i < functions.size(); ++i) {
    const pe::Section* section = image.SectionAt(functions[i].rva);
    uint32_t section_end = section->VirtualAddress + SectionContentSize(*section);
    bool next_in_section = i + 1 < functions.size() && functions[i + 1].rva < section_end;
    functions[i].end = next_in_section ? functions[i + 1].rva : section_end;
  }
  return functions;
}

}  // namespace image_coverage
