// The reasons file: for each image, why named functions' unreached blocks are not reached by the image
// runs. YAML: a map of image stems, each a map of function name to reason text. A function is named by its
// readable name with or without its parameter list ("Foo(int)" or "Foo"; the shorter form covers every
// overload) or by its map symbol.
#pragma once
#include <map>
#include <optional>
#include <string>

namespace image_coverage {

// stem -> function name -> reason
using CoverageReasons = std::map<std::string, std::map<std::string, std::string>>;

struct CoverageReasonsResult {
  std::optional<CoverageReasons> value;
  std::string error;  // "NAME:LINE: problem" when value is empty
};

CoverageReasonsResult ParseCoverageReasons(const std::string& text, const std::string& name);
CoverageReasonsResult ReadCoverageReasons(const std::string& path);

}  // namespace image_coverage
