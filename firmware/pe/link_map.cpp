// Reads the preferred load address and symbol lines of an lld-link map.
#include "firmware/pe/link_map.h"

#include <sstream>
#include <vector>

#include "firmware/pe/text_fields.h"

namespace pe {

std::optional<MapSymbol> FindMapSymbol(const std::string &MapText, const std::string &Name) {
  std::optional<uint64_t> Base;
  std::optional<uint64_t> Address;
  std::istringstream In(MapText);
  for (std::string Line; std::getline(In, Line);) {
    std::vector<std::string> W = Words(Line);
    // " Preferred load address is 0000000140000000"
    if (W.size() == 5 && W[0] == "Preferred" && W[3] == "is") {
      Base = ParseHex(W[4]);
    }
    // " 0001:00000000       Name   0000000140001000 [f] [i]  object.obj": section:offset, name, Rva+Base.
    if (!Address && W.size() >= 3 && W[1] == Name && W[0].find(':') != std::string::npos) {
      Address = ParseHex(W[2]);
    }
  }
  if (!Base || !Address || *Address < *Base || *Address - *Base > UINT32_MAX) {
    return std::nullopt;
  }
  return MapSymbol{*Address, static_cast<uint32_t>(*Address - *Base)};
}

std::vector<MapSymbolLine> ReadMapSymbols(const std::string &MapText) {
  std::optional<uint64_t> Base;
  std::vector<MapSymbolLine> Lines;
  bool InSymbols = false;
  std::istringstream In(MapText);
  for (std::string Line; std::getline(In, Line);) {
    std::vector<std::string> W = Words(Line);
    if (W.size() == 5 && W[0] == "Preferred" && W[3] == "is") {
      Base = ParseHex(W[4]);
      continue;
    }
    // The symbol lists follow the "Publics by Value" heading (the section list before it has no address).
    if (W.size() >= 3 && W[1] == "Publics" && W[2] == "by") {
      InSymbols = true;
      continue;
    }
    if (!InSymbols || W.size() < 4) {
      continue;
    }
    std::string::size_type Colon = W[0].find(':');
    if (Colon == std::string::npos) {
      continue;
    }
    std::optional<uint64_t> Section = ParseHex(W[0].substr(0, Colon));
    std::optional<uint64_t> Address = ParseHex(W[2]);
    if (!Section || !Address || *Section > UINT32_MAX) {
      continue;
    }
    MapSymbolLine Symbol;
    Symbol.Name = W[1];
    Symbol.Object = W.back();
    Symbol.Section = static_cast<uint32_t>(*Section);
    Symbol.Address = *Address;
    Lines.push_back(Symbol);
  }
  if (!Base) {
    return {};
  }
  std::vector<MapSymbolLine> Kept;
  for (MapSymbolLine &Symbol : Lines) {
    if (Symbol.Address >= *Base && Symbol.Address - *Base <= UINT32_MAX) {
      Symbol.Rva = static_cast<uint32_t>(Symbol.Address - *Base);
      Kept.push_back(Symbol);
    }
  }
  return Kept;
}

}  // namespace pe
