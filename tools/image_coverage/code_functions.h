// The functions of an image's code: the link map's symbols that lie in a code section, each running to the
// next symbol of that section or the section's end.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "firmware/pe/pe_image.h"

namespace image_coverage {

struct CodeFunction {
  std::string name;    // demangled (the 32-bit decoration's leading underscore removed); aliases as "A = B"
  std::string symbol;  // the map's name of the first symbol at this address
  std::string object;  // the object file the map names
  uint32_t rva = 0;
  uint32_t end = 0;  // one past the last byte
};

// The bytes of a section that the image defines: its virtual size, cut to what the file holds.
uint32_t SectionContentSize(const pe::Section& section);

// Functions of the image's code sections from the map's text, ascending by address. Symbols at one address
// are one function. Symbols outside every code section (data) are left out.
std::vector<CodeFunction> ListCodeFunctions(const pe::Image& image, const std::string& map_text);

// The symbol's readable name: C++ names demangled; on IA-32 the leading underscore of the decoration removed.
std::string ReadableName(const std::string& symbol, bool ia32);

// The name without its trailing parameter list ("ns::F(int) const" -> "ns::F"); the name itself when it
// has none.
std::string NameWithoutParameters(const std::string& name);

}  // namespace image_coverage
