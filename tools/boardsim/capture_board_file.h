// Writing a machine capture as a board: DIR/board.yaml, with the captured files beside it (pci/*.config and
// *.vpd, dmi/smbios_entry_point and dmi/DMI), in the board-file syntax for captures.
#pragma once
#include <filesystem>
#include <ostream>
#include <string>

#include "tools/boardsim/machine_capture.h"

namespace boardsim {

// The board file's text. Paths in it are relative to the board file; the notes become comments.
std::string CaptureBoardText(const MachineCapture& capture);

// Creates DIR and writes the board file and the captured files into it. Returns false, with the reason on
// err, when DIR already holds a board.yaml (nothing is overwritten) or a file cannot be written.
bool WriteCaptureBoard(const MachineCapture& capture, const std::filesystem::path& dir, std::ostream& err);

// "pci/0000-17-00.0" (no colons, so the names work wherever the capture is copied), without the suffix.
std::string CapturedFunctionStem(const sim::PciLocation& at);

}  // namespace boardsim
