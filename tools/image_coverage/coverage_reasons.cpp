// Reading the reasons file with yaml-cpp.
#include "tools/image_coverage/coverage_reasons.h"

#include <yaml-cpp/yaml.h>

#include <fstream>
#include <sstream>

namespace image_coverage {
namespace {

std::string Where(const std::string& name, const YAML::Node& node) {
  return name + ":" + std::to_string(node.Mark().line + 1) + ": ";
}

}  // namespace

CoverageReasonsResult ParseCoverageReasons(const std::string& text, const std::string& name) {
  YAML::Node root;
  try {
    root = YAML::Load(text);
  } catch (const YAML::Exception& e) {
    return {std::nullopt, name + ":" + std::to_string(e.mark.line + 1) + ": " + e.msg};
  }
  CoverageReasons reasons;
  if (root.IsNull()) {
    return {std::move(reasons), ""};
  }
  if (!root.IsMap()) {
    return {std::nullopt, Where(name, root) + "expected a map of image names"};
  }
  for (const auto& image : root) {
    if (!image.first.IsScalar()) {
      return {std::nullopt, Where(name, image.first) + "an image name must be text"};
    }
    auto& functions = reasons[image.first.Scalar()];
    if (image.second.IsNull()) {
      continue;
    }
    if (!image.second.IsMap()) {
      return {std::nullopt,
              Where(name, image.second) + "expected a map of function name to reason under " + image.first.Scalar()};
    }
    for (const auto& entry : image.second) {
      if (!entry.first.IsScalar() || !entry.second.IsScalar() || entry.second.Scalar().empty()) {
        return {std::nullopt,
                Where(name, entry.first) + "expected \"function: reason\" (both text, the reason not empty)"};
      }
      if (!functions.emplace(entry.first.Scalar(), entry.second.Scalar()).second) {
        return {std::nullopt, Where(name, entry.first) + "function " + entry.first.Scalar() + " is listed twice"};
      }
    }
  }
  return {std::move(reasons), ""};
}

CoverageReasonsResult ReadCoverageReasons(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    return {std::nullopt, path + ": cannot be read"};
  }
  std::ostringstream text;
  text << in.rdbuf();
  return ParseCoverageReasons(text.str(), path);
}

}  // namespace image_coverage
