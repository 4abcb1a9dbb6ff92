// Turns a power supply's FRU image (bytes) into the strings and values of its type 39 record, and builds
// the placeholder description used when the BMC never answered.
#pragma once
#include "uefi/base_types.h"

// The seven string fields of the record, in record order.
enum PowerSupplyStringField : UINTN {
  PsuLocation = 0,
  PsuDeviceName,
  PsuManufacturer,
  PsuSerialNumber,
  PsuAssetTag,
  PsuModelPartNumber,
  PsuRevisionLevel,
  PsuStringFieldCount
};

constexpr UINT16 PsuCharacteristicsFromFru = 0x11A2;      // switching, OK, auto-switch, present
constexpr UINT16 PsuCharacteristicsPlaceholder = 0x0910;  // unknown type, status and switching
constexpr UINT16 PsuCapacityUnknown = 0x8000;

// Scratch string list: NUL-terminated ASCII strings numbered from 1 in the order written, in a buffer the
// caller owns. Each field names a scratch string by number; a number beyond the list names none.
struct PowerSupplyDescription {
  CHAR8 *Strings;
  UINTN Capacity;  // bytes of Strings
  UINTN Used;      // bytes written, terminators included
  UINT8 FieldString[PsuStringFieldCount];
  UINT16 MaxPowerCapacity;
  UINT16 Characteristics;
};

// Decodes FruImageSize bytes of Image for supply 1 or 2. Scratch must hold at least 64 bytes; text that does
// not fit is dropped, never written past Capacity.
VOID DecodePowerSupplyFru(const UINT8 *Image, UINT8 Supply, CHAR8 *Scratch, UINTN Capacity,
                          PowerSupplyDescription *Description);

// "PSU<n>" and six fields of "To be filled by O.E.M.", capacity unknown.
VOID DescribePlaceholderPowerSupply(UINT8 Supply, CHAR8 *Scratch, UINTN Capacity, PowerSupplyDescription *Description);
