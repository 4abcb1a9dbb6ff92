// Symbol addresses from the map file the linker writes next to each image (lld-link /map).
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace pe {

struct MapSymbol {
  uint64_t Address = 0;  // the linker's "Rva+Base" column
  uint32_t Rva = 0;      // Address less the preferred load address
};

// Looks Name up among the public and static symbols of a map's text; empty when the map has no
// preferred load address line or does not list the symbol.
std::optional<MapSymbol> FindMapSymbol(const std::string &MapText, const std::string &Name);

}  // namespace pe
