// Splitting tool text into words and reading its hex numbers.
#include "firmware/pe/text_fields.h"

#include <sstream>

namespace pe {

std::optional<uint64_t> ParseHex(const std::string &Text) {
  if (Text.empty() || Text.size() > 16) {
    return std::nullopt;
  }
  uint64_t Value = 0;
  for (char C : Text) {
    int Digit = (C >= '0' && C <= '9')   ? C - '0'
                : (C >= 'a' && C <= 'f') ? C - 'a' + 10
                : (C >= 'A' && C <= 'F') ? C - 'A' + 10
                                         : -1;
    if (Digit < 0) {
      return std::nullopt;
    }
    Value = (Value << 4) | static_cast<uint64_t>(Digit);
  }
  return Value;
}

std::vector<std::string> Words(const std::string &Line) {
  std::istringstream In(Line);
  std::vector<std::string> Result;
  for (std::string Word; In >> Word;) {
    Result.push_back(Word);
  }
  return Result;
}

}  // namespace pe
