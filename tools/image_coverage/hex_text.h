// Addresses and sizes as the report and the notes print them.
#pragma once
#include <cstdint>
#include <string>

namespace image_coverage {

// "0x" and lower-case hex digits, no leading zeros: 0x1a2.
std::string HexText(uint32_t value);

}  // namespace image_coverage
