// Reading a variable's data from a board file: `data` bytes, or `size` bytes of one `fill` value.
#pragma once
#include <yaml-cpp/yaml.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/board/board_file_context.h"

namespace sim {

std::vector<uint8_t> ParseVariableData(const YAML::Node& node, const BoardFileContext& c, const std::string& field,
                                       uint8_t default_fill);

}  // namespace sim
