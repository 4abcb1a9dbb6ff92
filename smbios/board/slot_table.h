// Building the driver's slot table from the board inventory, once at driver entry.
#pragma once
#include "smbios/board/slot_entry.h"

// Appends the board's slots to the module state's table (called once, at the end of entry initialisation).
VOID BuildBoardTables(VOID);
