// The status-code data records the listener reads, by byte offset from the start of the record
// (little-endian; the common header is the PI one: u16 header size, u16 data size, 16-byte type GUID).
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"

constexpr UINT32 StatusCodeDataTypeGuidOffset = 4;

// The two record types the listener reads by GUID (assertions are recognised by their code values).
inline constexpr EFI_GUID gStatusCodeDebugInfoGuid = {
    0x9A4E9246, 0xD553, 0x11D5, {0x87, 0xE2, 0x00, 0x06, 0x29, 0x45, 0xC3, 0xB9}};
inline constexpr EFI_GUID gStatusCodeStringDataGuid = {
    0x92D11080, 0x496F, 0x4D95, {0xBE, 0x7E, 0x03, 0x74, 0x88, 0x38, 0x2B, 0x0A}};

// Debug-information record: error level, packed argument list, format string.
constexpr UINT32 DebugInfoErrorLevelOffset = 20;
constexpr UINT32 DebugInfoArgumentsOffset = 24;
constexpr UINT32 DebugInfoArgumentsSize = 96;
constexpr UINT32 DebugInfoFormatOffset = 120;

// Assertion record (recognised by the code values, not by a GUID): line number, then the NUL-terminated
// file name and description one after the other.
constexpr UINT32 AssertLineNumberOffset = 40;
constexpr UINT32 AssertFileNameOffset = 52;

// String record: string type, then a 32-bit pointer to the string.
constexpr UINT32 StringDataTypeOffset = 20;
constexpr UINT32 StringDataPointerOffset = 24;
constexpr UINT32 StringTypeAscii = 0;

// Error levels that are sent; any other debug record is dropped.
constexpr UINT32 DebugLevelMaskSent = 0x80000046;
constexpr UINT32 DebugLevelError = 0x80000000;  // exactly this level is sent as an error (severity 2)

// Assertion codes: error class, unrecovered severity, operation 7 in the value's low 16 bits.
constexpr UINT32 AssertCodeTypeSeverity = 0x90;
constexpr UINT32 AssertValueOperation = 7;
