// The fields of a line of tool text (link maps, block records): whitespace-separated words and bare hex numbers.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pe {

// 1 to 16 hex digits (either case, no prefix); nullopt for anything else.
std::optional<uint64_t> ParseHex(const std::string &Text);

// The whitespace-separated words of a line.
std::vector<std::string> Words(const std::string &Line);

}  // namespace pe
