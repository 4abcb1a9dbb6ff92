// FatalStop: where a CPU CSR request outside the box-type rules ends (the caller's programming error).
#pragma once
#include "uefi/base_types.h"

// Stores 1 in a one-byte stop flag and re-reads it until it is 0, which only an attached debugger does.
// Nothing is emitted; the message and its arguments are there for the debugger. When the flag is cleared
// the call returns and the caller goes on. The context is the caller's SiliconContext (not read).
void FatalStopWithList(const UINT8 *Context, const CHAR8 *Message, const UINT32 *Arguments, UINT32 ArgumentCount);

// FatalStop with the arguments listed in the call, each taken as a 32-bit value.
template <typename... Values>
inline void FatalStop(const UINT8 *Context, const CHAR8 *Message, Values... Arguments) {
  const UINT32 List[sizeof...(Values) + 1] = {static_cast<UINT32>(Arguments)..., 0};
  FatalStopWithList(Context, Message, &List[0], static_cast<UINT32>(sizeof...(Values)));
}
