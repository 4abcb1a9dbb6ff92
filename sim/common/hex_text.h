// "0x..." text of a value for the simulator's and the tools' messages and listings: upper-case digits,
// zero-padded to at least `digits` digits (the default: no padding).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace sim {

inline std::string Hex(uint64_t value, int digits = 1) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

}  // namespace sim
