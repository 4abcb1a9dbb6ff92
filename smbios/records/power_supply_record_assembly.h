// Builds the System Power Supply (type 39) record from a decoded description.
#pragma once
#include "smbios/records/power_supply_fru_decode.h"
#include "uefi/base_types.h"
#include "uefi/protocols/smbios.h"

constexpr UINT8 PowerSupplyRecordType = 39;
constexpr UINT8 PowerSupplyRecordLength = 0x16;
constexpr UINTN PowerSupplyStringMax = 63;  // longest string the platform's record services accept

#pragma pack(push, 1)
struct PowerSupplyRecord {
  EFI_SMBIOS_TABLE_HEADER Header;
  UINT8 PowerUnitGroup;
  UINT8 Strings[PsuStringFieldCount];  // Location .. Revision Level, string numbers
  UINT16 MaxPowerCapacity;
  UINT16 Characteristics;
  UINT16 InputVoltageProbeHandle;
  UINT16 CoolingDeviceHandle;
  UINT16 InputCurrentProbeHandle;
};
#pragma pack(pop)
static_assert(sizeof(PowerSupplyRecord) == PowerSupplyRecordLength, "type 39 formatted area is 22 bytes");
static_assert(__builtin_offsetof(PowerSupplyRecord, MaxPowerCapacity) == 0x0C &&
                  __builtin_offsetof(PowerSupplyRecord, InputCurrentProbeHandle) == 0x14,
              "type 39: capacity and the last probe handle at their offsets");

// Writes the record for supply 1 or 2 into Record (Capacity bytes, at least 512). A field whose scratch
// string is empty is published as "N/A"; a field that names no scratch string gets string number 0.
// Strings are cut to PowerSupplyStringMax characters. Returns EFI_BUFFER_TOO_SMALL when Capacity cannot
// hold the record.
EFI_STATUS AssemblePowerSupplyRecord(const PowerSupplyDescription *Description, UINT8 Supply, UINT8 *Record,
                                     UINTN Capacity);
