// Turns a power supply's FRU image (bytes) into the strings and values of its type 39 record, and builds
// the placeholder description used when the BMC never answered.
#include "smbios/records/power_supply_fru_decode.h"

#include "smbios/records/power_supply_fru_layout.h"
#include "smbios/services/text_and_memory.h"

namespace {

constexpr UINTN FieldsInWalk = 5;
constexpr UINT8 EmptyFieldByte = 0xC0;
constexpr UINT8 FirstAsciiFieldByte = 0xC2;  // type/length of an 8-bit ASCII field of 2..31 characters
constexpr UINT8 LastAsciiFieldByte = 0xDF;

// Appends one byte, keeping room for the list's closing NULs (the assembly ends the list with two).
VOID Append(PowerSupplyDescription *D, CHAR8 Byte) {
  if (D->Used + 2 < D->Capacity) D->Strings[D->Used++] = Byte;
}

VOID AppendString(PowerSupplyDescription *D, const CHAR8 *Text) {
  for (; *Text != 0; ++Text) Append(D, *Text);
  Append(D, 0);
}

VOID StartList(UINT8 Supply, CHAR8 *Scratch, UINTN Capacity, PowerSupplyDescription *D) {
  ZeroMemory(Scratch, Capacity);
  D->Strings = Scratch;
  D->Capacity = Capacity;
  D->Used = 0;
  const CHAR8 location[] = {'P', 'S', 'U', static_cast<CHAR8>('0' + Supply), 0};
  AppendString(D, location);
}

}  // namespace

VOID DecodePowerSupplyFru(const UINT8 *Image, UINT8 Supply, CHAR8 *Scratch, UINTN Capacity, PowerSupplyDescription *D) {
  StartList(Supply, Scratch, Capacity, D);
  D->FieldString[PsuLocation] = 1;
  D->FieldString[PsuManufacturer] = 2;
  D->FieldString[PsuDeviceName] = 3;
  D->FieldString[PsuModelPartNumber] = 4;
  D->FieldString[PsuRevisionLevel] = 5;
  D->FieldString[PsuSerialNumber] = 6;
  D->FieldString[PsuAssetTag] = 7;
  D->MaxPowerCapacity = static_cast<UINT16>(Image[FruOverallCapacity] | (Image[FruOverallCapacity + 1] << 8));
  D->Characteristics = PsuCharacteristicsFromFru;

  // Field data bytes join the current string; a type/length byte ends it. A string already ended (by an
  // "N/A" or a NUL data byte) is not ended again, so an empty field never shifts the fields after it.
  BOOLEAN ended = FALSE;
  UINTN fieldsEnded = 0;
  for (UINTN offset = FruFieldWalkStart; fieldsEnded < FieldsInWalk && offset < FruMultiRecordDataStart; ++offset) {
    UINT8 byte = Image[offset];
    if (byte < EmptyFieldByte) {
      Append(D, static_cast<CHAR8>(byte));
      ended = (byte == 0) ? TRUE : FALSE;
    } else if (byte >= FirstAsciiFieldByte && byte <= LastAsciiFieldByte) {
      if (!ended) Append(D, 0);
      ended = FALSE;
      ++fieldsEnded;
    } else if (byte == EmptyFieldByte) {
      if (!ended) Append(D, 0);
      AppendString(D, "N/A");
      ended = TRUE;
      ++fieldsEnded;
    }
    // 0xC1 (end of fields) and 0xE0..0xFF (longer or non-ASCII type/length bytes) are skipped.
  }
}

VOID DescribePlaceholderPowerSupply(UINT8 Supply, CHAR8 *Scratch, UINTN Capacity, PowerSupplyDescription *D) {
  StartList(Supply, Scratch, Capacity, D);
  AppendString(D, "To be filled by O.E.M.");
  D->FieldString[PsuLocation] = 1;
  for (UINTN field = PsuDeviceName; field < PsuStringFieldCount; ++field) D->FieldString[field] = 2;
  D->MaxPowerCapacity = PsuCapacityUnknown;
  D->Characteristics = PsuCharacteristicsPlaceholder;
}
