// Sized moves between a register and memory, and the byte-wise AND/OR merge of a read-modify-write.
#pragma once
#include "uefi/base_types.h"

// Code 0: one 8-bit access, 1: 16-bit, 2: 32-bit; any other code moves one 64-bit element as two
// 32-bit accesses, low word at the address first. Buffers are little-endian and need no alignment.
// Return 0, or RegisterCopyUnsupported without any access when the element's bytes would pass the top of
// the 32-bit address space (an 8-byte element at 0xFFFFFFFC would put its high word at address 0), the
// limit the block path's CheckBlockAccess keeps too.
constexpr UINT32 RegisterCopyUnsupported = 0x80000003u;
UINT32 CopyFromRegister(VOID *Destination, UINT32 Code, UINT32 RegisterAddress);
UINT32 CopyToRegister(const VOID *Source, UINT32 Code, UINT32 RegisterAddress);

// Whether every byte of one element of the code at RegisterAddress lies below 4 GiB.
bool RegisterBytesInAddressSpace(UINT32 Code, UINT32 RegisterAddress);

// Value[i] = (Value[i] AND AndMask[i]) OR OrMask[i] for i < Size (at most 8). A null AND mask keeps
// every bit, a null OR mask sets none.
void MergeMasks(UINT8 *Value, const VOID *AndMask, const VOID *OrMask, UINT32 Size);

// Element size in bytes of an AccessWidth code (code AND 3: 1, 2, 4, 8).
constexpr UINT32 AccessWidthSize(UINT32 Code) { return 1u << (Code & 3); }
