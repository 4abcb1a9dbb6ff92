// Bounded string measuring, UCS-2 to ASCII copying and the plain memory functions of the whole driver.
#pragma once
#include "uefi/base_types.h"

UINTN Ucs2BoundedLength(const CHAR16 *String, UINTN Max);
UINTN AsciiBoundedLength(const CHAR8 *String, UINTN Max);
EFI_STATUS Ucs2ToAsciiCopy(CHAR8 *Destination, const CHAR16 *Source, UINTN DestinationMax);

VOID ZeroMemory(VOID *Buffer, UINTN Length);                           // eight bytes at a time, then bytes
INTN CompareMemory(const VOID *A, const VOID *B, UINTN Length);        // difference of the first unequal bytes
VOID CopyMemory(VOID *Destination, const VOID *Source, UINTN Length);  // safe for overlapping ranges
VOID FillMemory(VOID *Buffer, UINTN Length, UINT8 Value);
UINT32 ReadLittleEndian32(const VOID *Bytes);  // four bytes at any address
VOID WriteLittleEndian32(VOID *Bytes, UINT32 Value);
