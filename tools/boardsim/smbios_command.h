// `boardsim smbios`: runs the SMBIOS driver on a board, prints the table and the run summary, and writes a
// dmidecode-compatible dump on request.
#pragma once
#include <optional>
#include <ostream>
#include <string>

namespace boardsim {

struct SmbiosOptions {
  std::optional<std::string> board_file;  // the built-in default board when empty
  std::optional<std::string> dump_bin;    // write the table in the `dmidecode --dump-bin` layout here
  int entry_point = 3;                    // 3: SMBIOS 3.0 entry point; 2: the 2.1 entry point
  std::optional<std::string> nvram;       // non-volatile variables kept in this file between runs
  std::optional<std::string> image;       // run this built driver image instead of the host-linked driver
  std::optional<std::string> fv;          // dispatch the driver from this firmware volume
  bool hii = false;                       // also print the registered HII package lists
};

// Returns the exit status: 0 for a clean run, 1 when the run failed or the volume's driver was not dispatched
// (reasons on err), 2 for bad input (a volume that does not read counts as one).
int RunSmbiosCommand(const SmbiosOptions& options, std::ostream& out, std::ostream& err);

}  // namespace boardsim
