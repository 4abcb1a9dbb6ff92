// The debugger-stop seam: the one primitive a fatal-stop loop calls while it waits for a debugger.
// Firmware builds link hw/debug_stop_firmware.cpp (a pause, so the loop spins); host builds link the
// simulator's form, which records the stop and clears the flag the way an attached debugger would.
#pragma once
#include "uefi/base_types.h"

extern "C" {
// Called on every turn of the wait loop with the loop's flag (the loop ends once it reads 0), the stop
// message and its ArgumentCount 32-bit arguments.
void DebugStopPoll(volatile UINT8 *Flag, const CHAR8 *Message, const UINT32 *Arguments, UINT32 ArgumentCount);
}
