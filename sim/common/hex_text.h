// "0x..." text of a value for the simulator's messages (upper-case digits, no padding).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace sim {

inline std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace sim
