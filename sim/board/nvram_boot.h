// Booting a board with its non-volatile variables kept in a file between runs (`boardsim smbios --nvram FILE`).
#pragma once
#include <optional>
#include <string>

#include "sim/board/board_boot.h"

namespace sim {

// As BootBoard. With a path, the file's variables are put into the platform's variable store after the board
// is applied and before the driver runs (a file that does not exist yet is a first run), and the store's
// non-volatile variables are written back to it after the run. Throws NvramFileError for a malformed or
// unwritable file (the message names the file, the line and the fix).
BootedBoard BootBoardWithNvram(const Board& board, const DriverEntry& entry,
                               const std::optional<std::string>& nvram_path);

}  // namespace sim
