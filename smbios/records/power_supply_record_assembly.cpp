// Builds the System Power Supply (type 39) record from a decoded description.
#include "smbios/records/power_supply_record_assembly.h"

#include "smbios/services/text_and_memory.h"
#include "uefi/status.h"

namespace {

// Worst case: the formatted area, seven strings of the longest length with their NULs, the final NUL.
constexpr UINTN RecordCapacityNeeded = PowerSupplyRecordLength + PsuStringFieldCount * (PowerSupplyStringMax + 1) + 1;

struct ScratchString {
  const CHAR8 *Text;
  UINTN Length;
};

// Finds scratch string Number (1-based) within the bytes written; FALSE when the list holds fewer strings
// (and for 0, which no string has).
BOOLEAN FindScratchString(const PowerSupplyDescription *D, UINTN Number, ScratchString *Found) {
  UINTN start = 0;
  for (UINTN index = 1; start < D->Used; ++index) {
    UINTN end = start;
    while (end < D->Used && D->Strings[end] != 0) ++end;
    if (index == Number) {
      Found->Text = D->Strings + start;
      Found->Length = end - start;
      return TRUE;
    }
    start = end + 1;
  }
  return FALSE;
}

}  // namespace

EFI_STATUS AssemblePowerSupplyRecord(const PowerSupplyDescription *D, UINT8 Supply, UINT8 *Record, UINTN Capacity) {
  if (Capacity < RecordCapacityNeeded) return EFI_BUFFER_TOO_SMALL;
  // Every byte of the record is written below; the buffer past the record's end is left as it was.
  PowerSupplyRecord *r = reinterpret_cast<PowerSupplyRecord *>(Record);
  r->Header.Type = PowerSupplyRecordType;
  r->Header.Length = PowerSupplyRecordLength;
  r->Header.Handle = 0;
  r->PowerUnitGroup = Supply;
  r->MaxPowerCapacity = D->MaxPowerCapacity;
  r->Characteristics = D->Characteristics;
  r->InputVoltageProbeHandle = 0xFFFF;
  r->CoolingDeviceHandle = 0xFFFF;
  r->InputCurrentProbeHandle = 0xFFFF;

  static const CHAR8 notAvailable[] = "N/A";
  UINT8 *out = Record + PowerSupplyRecordLength;
  UINT8 published = 0;
  for (UINTN field = 0; field < PsuStringFieldCount; ++field) {
    ScratchString s;
    if (!FindScratchString(D, D->FieldString[field], &s)) {
      r->Strings[field] = 0;
      continue;
    }
    if (s.Length == 0) {
      s.Text = notAvailable;
      s.Length = sizeof(notAvailable) - 1;
    }
    if (s.Length > PowerSupplyStringMax) s.Length = PowerSupplyStringMax;
    CopyMemory(out, s.Text, s.Length);
    out += s.Length;
    *out++ = 0;
    r->Strings[field] = ++published;
  }
  // The set ends with one more NUL; a record without strings ends in two.
  if (published == 0) *out++ = 0;
  *out = 0;
  return EFI_SUCCESS;
}
