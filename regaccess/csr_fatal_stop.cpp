// FatalStop: the stop loop around the debugger-stop primitive.
#include "regaccess/csr_fatal_stop.h"

#include "hw/debug_stop.h"

void FatalStopWithList(const UINT8 *Context, const CHAR8 *Message, const UINT32 *Arguments, UINT32 ArgumentCount) {
  (VOID) Context;
  volatile UINT8 Flag = 1;
  while (Flag != 0) {
    DebugStopPoll(&Flag, Message, Arguments, ArgumentCount);
  }
}
