// `boardsim capture`: writes a board file of the Linux machine it runs on, with the captured files beside it,
// and says what it could not read and why.
#pragma once
#include <ostream>
#include <string>

namespace boardsim {

struct CaptureOptions {
  std::string out_dir = "capture";  // the board file is OUT/board.yaml
  std::string root = "/";           // the machine's /sys and /proc are read below this directory
};

// Returns the exit status: 0 when the board was written (also with notes about what could not be read), 2
// when it could not be written.
int RunCaptureCommand(const CaptureOptions& options, std::ostream& out, std::ostream& err);

}  // namespace boardsim
