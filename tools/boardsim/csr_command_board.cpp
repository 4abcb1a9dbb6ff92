// The silicon description of `boardsim csr`, from the board file's `csr` section.
#include "sim/board/board_file.h"
#include "tools/boardsim/csr_command.h"

namespace boardsim {

std::optional<CsrSilicon> CsrSiliconOfBoard(const CsrOptions& options, std::ostream& err) {
  try {
    const sim::Board board = options.board_file ? sim::LoadBoardFile(*options.board_file) : sim::DefaultBoard();
    if (board.csr) return *board.csr;
    const sim::Board built_in = sim::DefaultBoard();
    if (built_in.csr) return *built_in.csr;
    err << "boardsim csr: the built-in board has no csr section (give --board FILE with one)\n";
  } catch (const sim::BoardFileError& e) {
    err << "boardsim csr: " << e.what() << "\n";
  }
  return std::nullopt;
}

}  // namespace boardsim
