// From a board to a finished run: build the platform, run a DXE entry point, declare enumeration complete.
#pragma once
#include <memory>

#include "sim/board/board.h"
#include "sim/dxe/driver_entry.h"
#include "sim/dxe/dxe_platform.h"
#include "uefi/system_table.h"

namespace sim {

// Puts the board into the platform: PCD tokens, pre-existing SMBIOS records, every extra section, and last
// the faults (absent protocols, allocation failures counted from the next allocation).
void ApplyBoard(const Board& board, DxePlatform& platform);

struct BootResult {
  EFI_STATUS entry_status = EFI_SUCCESS;
  bool callback_ran = false;
  EFI_STATUS callback_status = EFI_SUCCESS;
  RunSummary summary;  // after FinishRun: leaks and refusals reported
};

// Runs entry(image handle, system table), declares enumeration complete, and finishes the run.
BootResult RunDxeDriver(DxePlatform& platform, const DriverEntry& entry);

struct BootedBoard {
  std::unique_ptr<DxePlatform> platform;  // kept so the caller can read the table
  BootResult result;
};

// Creates a platform, applies the board and runs the driver on it.
BootedBoard BootBoard(const Board& board, const DriverEntry& entry);

}  // namespace sim
