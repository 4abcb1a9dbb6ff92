// Bounded printf-like text formatter of the PEI module: 8- or 16-bit output and format characters,
// count-only mode, arguments from a variadic list or from a packed argument list. No heap, no globals.
#pragma once
#include "uefi/base_types.h"

// Flags a caller may set; the engine ignores every other bit.
constexpr UINT32 FORMAT_OUTPUT_16BIT = 0x40;   // output characters are 2 bytes, little-endian
constexpr UINT32 FORMAT_FORMAT_16BIT = 0x100;  // format characters are 2 bytes, little-endian
constexpr UINT32 FORMAT_COUNT_ONLY = 0x2000;   // nothing is written; the result is the full length
constexpr UINT32 FORMAT_CALLER_FLAGS = FORMAT_OUTPUT_16BIT | FORMAT_FORMAT_16BIT | FORMAT_COUNT_ONLY;

// Largest 16-bit output buffer and longest 16-bit format, in characters.
constexpr UINTN FORMAT_MAX_16BIT_CHARS = 1000000;

// Formats Format into Buffer (Size characters, terminator included) and returns the number of characters
// written, terminator excluded; in count-only mode the length the whole text would have (saturated at
// 0xFFFFFFFF); 0 for a rejected call. Arguments come from PackedList when it is non-null, else from
// *VaList; with neither, every argument reads as 0.
//
// PackedList layout (the 32-bit caller's): every 32-bit integer, character, status, '*' width or precision
// and pointer takes 4 bytes; a 64-bit integer ('l'/'L') takes 8 bytes, low word first; no alignment is
// assumed. A pointer read from it is the 4-byte value zero-extended, also in a 64-bit build, so there it
// can only name memory below 4 GiB. The variadic list is walked in the same order with the same widths
// (pointers there are native pointers).
UINT32 FormatTextEngine(VOID *Buffer, UINTN Size, UINT32 Flags, const VOID *Format, __builtin_va_list *VaList,
                        const VOID *PackedList);

// FormatTextEngine with arguments only from the PackedListSize bytes at PackedList: an argument that does
// not lie wholly inside them reads as 0, so no format reads past the list.
UINT32 FormatTextPacked(VOID *Buffer, UINTN Size, UINT32 Flags, const VOID *Format, const VOID *PackedList,
                        UINTN PackedListSize);

// FormatTextEngine with flags 0 and the arguments that follow Format.
UINT32 FormatText(VOID *Buffer, UINTN Size, const CHAR8 *Format, ...);

// FormatTextEngine with the given flags and the arguments that follow Format.
UINT32 FormatTextWithFlags(VOID *Buffer, UINTN Size, UINT32 Flags, const VOID *Format, ...);
