// Hex text of addresses.
#include "tools/image_coverage/hex_text.h"

#include <cstdio>

namespace image_coverage {

std::string HexText(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

}  // namespace image_coverage
