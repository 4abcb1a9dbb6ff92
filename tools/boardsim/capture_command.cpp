// `boardsim capture`: capture the machine, write the board, report what is in it and what is missing.
#include "tools/boardsim/capture_command.h"

#include <unistd.h>

#include "tools/boardsim/capture_board_file.h"
#include "tools/boardsim/machine_capture.h"

namespace boardsim {

int RunCaptureCommand(const CaptureOptions& options, std::ostream& out, std::ostream& err) {
  const MachineCapture capture = CaptureMachine(options.root, ::geteuid() == 0);
  const std::filesystem::path dir = options.out_dir;
  if (!WriteCaptureBoard(capture, dir, err)) return 2;

  size_t with_vpd = 0;
  for (const CapturedFunction& f : capture.functions) with_vpd += f.vpd.empty() ? 0 : 1;
  const std::string board = (dir / "board.yaml").string();
  out << "Captured " << capture.host_name << " into " << board << ":\n";
  out << "  PCI functions: " << capture.functions.size() << " (" << with_vpd << " with VPD)\n";
  out << "  SMBIOS table: ";
  if (capture.dmi_entry_point.empty()) out << "none\n";
  else out << capture.dmi_table.size() << " bytes, entry point of " << capture.dmi_entry_point.size() << " bytes\n";
  if (!capture.notes.empty()) {
    out << "Not captured:\n";
    for (const std::string& note : capture.notes) out << "  " << note << "\n";
  }
  out << "Run the driver on it: boardsim smbios --board " << board << "\n";
  return 0;
}

}  // namespace boardsim
