// Loading board files (YAML). Errors name the place and the fix: "FILE:LINE: field PATH: what (fix)".
#pragma once
#include <stdexcept>
#include <string>

#include "sim/board/board.h"

namespace sim {

class BoardFileError : public std::runtime_error {
 public:
  BoardFileError(std::string file, int line, std::string field, std::string problem, std::string fix);
  const std::string& File() const { return file_; }
  int Line() const { return line_; }  // 1-based; 0 when the error concerns the whole file
  const std::string& Field() const { return field_; }

 private:
  std::string file_;
  int line_;
  std::string field_;
};

// Reads and parses a board file. Throws BoardFileError (unreadable file, YAML syntax, unknown key, bad value).
Board LoadBoardFile(const std::string& path);
// Parses board-file text; `file_name` is used in messages.
Board ParseBoardText(const std::string& text, const std::string& file_name);
// The built-in default board (boards/default.yaml, compiled into the binary).
Board DefaultBoard();
// The text of the built-in default board.
const char* DefaultBoardText();

}  // namespace sim
