// Whole-driver runs under injected faults: boot a board (entry point and callback) on a fresh module state and
// judge how the run ended.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/board/board.h"
#include "sim/board/board_boot.h"
#include "tests/support/driver_test_platform.h"

namespace fault_sweep {

// Boots the board with the driver on a fresh module state (entry point and callback).
using driver_test::BootDriver;

// How a faulted run must end: no pool leak, no refused Add, every record in the table well formed by the
// simulator's record checks, every type 40 entry referring to a record in the table, and no violation other than
// those containing one of `implied` (violations the fault itself causes, e.g. a stray access the fault makes
// unavoidable). `what` names the fault in the failure message.
::testing::AssertionResult EndedCleanly(const sim::BootedBoard& run, const std::string& what,
                                        const std::vector<std::string>& implied = {});

// The table as bytes per record, in table order, for comparing a faulted run with a clean one.
std::vector<std::vector<uint8_t>> TableBytes(const sim::BootedBoard& run);
// The records of one type, in table order.
std::vector<std::vector<uint8_t>> RecordsOfType(const sim::BootedBoard& run, uint8_t type);
// The same with the record's own handle and a type 40's referenced handles zeroed, for comparing runs in which
// the table handed out different handles.
std::vector<std::vector<uint8_t>> RecordsOfTypeWithoutHandles(const sim::BootedBoard& run, uint8_t type);

// Fault points swept by this process, by sweep name, printed at exit ("[fault sweep] NAME: N points").
void CountPoints(const std::string& sweep, size_t points);

}  // namespace fault_sweep
