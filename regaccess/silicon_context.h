// Unaligned little-endian reads and writes of the platform's SiliconContext record.
#pragma once
#include "uefi/base_types.h"
#include "uefi/silicon_context_layout.h"

inline UINT8 ContextRead8(const UINT8 *Context, UINT32 Position) { return Context[Position]; }
inline UINT32 ContextRead32(const UINT8 *Context, UINT32 Position) {
  return static_cast<UINT32>(Context[Position]) | (static_cast<UINT32>(Context[Position + 1]) << 8) |
         (static_cast<UINT32>(Context[Position + 2]) << 16) | (static_cast<UINT32>(Context[Position + 3]) << 24);
}
inline void ContextWrite32(UINT8 *Context, UINT32 Position, UINT32 Value) {
  Context[Position] = static_cast<UINT8>(Value);
  Context[Position + 1] = static_cast<UINT8>(Value >> 8);
  Context[Position + 2] = static_cast<UINT8>(Value >> 16);
  Context[Position + 3] = static_cast<UINT8>(Value >> 24);
}
