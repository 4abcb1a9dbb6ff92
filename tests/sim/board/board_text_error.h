// The error a board text raises, for the board-file tests.
#pragma once
#include <string>

#include "sim/board/board_file.h"

namespace board_test {

// The message of the BoardFileError that parsing `text` as file `name` raises; `accepted` when it parses.
inline std::string ErrorOf(const std::string& text, const std::string& name = "b.yaml",
                           const std::string& accepted = "no error") {
  try {
    sim::ParseBoardText(text, name);
  } catch (const sim::BoardFileError& e) {
    return e.what();
  }
  return accepted;
}

}  // namespace board_test
