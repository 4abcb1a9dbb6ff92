// Firmware form of the debugger-stop seam: only a pause; the flag stays set until a debugger clears it.
#include "hw/debug_stop.h"

extern "C" {
void DebugStopPoll(volatile UINT8 *Flag, const CHAR8 *Message, const UINT32 *Arguments, UINT32 ArgumentCount) {
  (VOID) Flag;
  (VOID) Message;
  (VOID) Arguments;
  (VOID) ArgumentCount;
  __asm__ __volatile__("pause");
}
}
