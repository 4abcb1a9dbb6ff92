// Booting a board with its non-volatile variables kept in a file between runs.
#include "sim/board/nvram_boot.h"

#include "sim/dxe/nvram_file.h"
#include "sim/dxe/variable_store.h"

namespace sim {

BootedBoard BootBoardWithNvram(const Board& board, const DriverEntry& entry,
                               const std::optional<std::string>& nvram_path) {
  if (!nvram_path) return BootBoard(board, entry);
  BootedBoard booted;
  booted.platform = std::make_unique<DxePlatform>();
  ApplyBoard(board, *booted.platform);
  VariableStore& store = PlatformVariableStore(*booted.platform);
  LoadNvramFile(*nvram_path, store);
  booted.result = RunDxeDriver(*booted.platform, entry);
  SaveNvramFile(*nvram_path, store);
  return booted;
}

}  // namespace sim
