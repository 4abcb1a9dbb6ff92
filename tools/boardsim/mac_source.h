// Where the driver takes the onboard MAC address (the node of the system UUID) from on a board, told from the
// board's PCI functions: the first Ethernet function below the chipset root port 00:1C.4 and the read method
// its vendor and device IDs select, or the "V2" keyword of the onboard LAN function's VPD.
#pragma once
#include <string>

#include "sim/board/board.h"

namespace boardsim {

std::string DescribeMacSource(const sim::Board& board);

}  // namespace boardsim
