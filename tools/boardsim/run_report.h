// The summary printed after a run (records by type, pool, refused Adds, virtual time) and the reasons a run
// counts as failed.
#pragma once
#include <ostream>
#include <string>
#include <vector>

#include "sim/board/board_boot.h"

namespace boardsim {

void PrintSummary(std::ostream& out, const sim::BootResult& result);
// Why the run failed: pool leaks, refused Adds or registrations, and every other violation. Empty when it passed.
std::vector<std::string> RunFailures(const sim::RunSummary& summary);

}  // namespace boardsim
