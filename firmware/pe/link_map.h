// Symbol addresses from the map file the linker writes next to each image (lld-link /map).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pe {

struct MapSymbol {
  uint64_t Address = 0;  // the linker's "Rva+Base" column
  uint32_t Rva = 0;      // Address less the preferred load address
};

// Looks Name up among the public and static symbols of a map's text; empty when the map has no
// preferred load address line or does not list the symbol.
std::optional<MapSymbol> FindMapSymbol(const std::string &MapText, const std::string &Name);

// One line of a map's public or static symbol lists.
struct MapSymbolLine {
  std::string Name;      // as the linker lists it (decorated, mangled)
  std::string Object;    // the "Lib:Object" column, e.g. "driver_entry.obj"
  uint32_t Section = 0;  // 1-based section number of "SSSS:OOOOOOOO"
  uint64_t Address = 0;  // "Rva+Base"
  uint32_t Rva = 0;      // Address less the preferred load address
};

// Every public and static symbol of a map's text, in the order listed; empty when the map has no preferred
// load address line. Lines whose address lies below the load address or 4 GiB above it are left out.
std::vector<MapSymbolLine> ReadMapSymbols(const std::string &MapText);

}  // namespace pe
