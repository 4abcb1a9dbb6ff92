// Fills an all-zero System Information (type 1) UUID in place: a time-based UUID from PCD token 180 whose
// node is the onboard MAC address.
#pragma once
#include "uefi/base_types.h"

constexpr UINTN SystemUuidSize = 16;
constexpr UINTN SystemUuidOffset = 8;  // in the type 1 record; the record must be at least 24 bytes long

// Does nothing without the SMBIOS protocol or a type 1 record, for a record too short to hold a UUID, and when
// the UUID is already set.
VOID FillSystemUuid(VOID);

// Writes bytes 0..9 of a version 1, RFC 4122 variant UUID for the time Minutes after 1996-01-01 00:00 and
// returns TRUE; returns FALSE and writes nothing for the values that mean "no time" (0, and 16:00 of any day).
BOOLEAN WriteUuidTimestamp(UINT32 Minutes, UINT8 *Uuid);
