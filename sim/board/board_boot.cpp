// Booting a board: platform from the board, the DXE entry point, enumeration complete, end of run.
#include "sim/board/board_boot.h"

#include "sim/board/board_sections.h"

namespace sim {

void ApplyBoard(const Board& board, DxePlatform& platform) {
  for (const BoardSection& section : BoardSections()) {
    if (section.apply != nullptr) section.apply(board, platform);
  }
}

BootResult RunDxeDriver(DxePlatform& platform, const DriverEntry& entry) {
  BootResult result;
  result.entry_status = entry(platform.ImageHandle(), platform.SystemTable());
  const CallbackOutcome outcome = platform.DeclareEnumerationComplete();
  result.callback_ran = outcome.ran;
  result.callback_status = outcome.status;
  result.summary = platform.FinishRun();
  return result;
}

BootedBoard BootBoard(const Board& board, const DriverEntry& entry) {
  BootedBoard booted;
  booted.platform = std::make_unique<DxePlatform>();
  ApplyBoard(board, *booted.platform);
  booted.result = RunDxeDriver(*booted.platform, entry);
  return booted;
}

}  // namespace sim
