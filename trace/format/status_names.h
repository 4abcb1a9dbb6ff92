// Names of the 32-bit UEFI status values, as printed by the formatter's 'r' conversion.
#pragma once
#include "uefi/base_types.h"

constexpr UINT32 STATUS_NAME_COUNT = 39;

// Indexes 0-5: success and the warnings 1-5; indexes 6-38: the errors 1-33 (error number plus 5).
extern const CHAR8 *const StatusNameTable[STATUS_NAME_COUNT];

// The name of Status (top bit = error), or null when the table has none for it.
const CHAR8 *StatusName(UINT32 Status);
