// EFI_GUID in the UEFI layout (u32, u16, u16, 8 bytes); compared as 16 bytes.
#pragma once
#include "uefi/base_types.h"

struct EFI_GUID {
  UINT32 Data1;
  UINT16 Data2;
  UINT16 Data3;
  UINT8 Data4[8];
};
static_assert(sizeof(EFI_GUID) == 16, "EFI_GUID is 16 bytes");

// Byte-wise equality; GUIDs in records need not be aligned.
inline BOOLEAN GuidEqual(const EFI_GUID *a, const EFI_GUID *b) {
  const UINT8 *p = reinterpret_cast<const UINT8 *>(a);
  const UINT8 *q = reinterpret_cast<const UINT8 *>(b);
  for (int i = 0; i < 16; ++i) {
    if (p[i] != q[i]) return FALSE;
  }
  return TRUE;
}
