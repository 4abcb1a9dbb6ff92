// The module's trace output: one SyS-T string message on the trace hub per line of text.
#pragma once
#include "uefi/base_types.h"

// Sends Text as one string message on master 32, channel 14 through the trace-hub transport.
// Length is the number of characters (no terminator); 0 sends the NUL-terminated text inline. Returns 0.
UINT32 EmitTraceString(UINT32 Severity, const CHAR8 *Text, UINT16 Length);
