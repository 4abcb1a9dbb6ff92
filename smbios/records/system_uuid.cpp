// Fills an all-zero System Information (type 1) UUID in place: a time-based UUID from PCD token 180 whose
// node is the onboard MAC address.
#include "smbios/records/system_uuid.h"

#include "smbios/records/onboard_mac.h"
#include "smbios/services/pcd_access.h"
#include "smbios/services/protocol_lookup.h"
#include "smbios/services/text_and_memory.h"
#include "uefi/protocols/smbios.h"
#include "uefi/status.h"

namespace {

constexpr EFI_GUID SmbiosProtocolGuid = EFI_SMBIOS_PROTOCOL_GUID;
constexpr UINT64 MinutesFromUuidEpochTo1996 = 217329120;  // 1582-10-15 to 1996-01-01: 150923 days
constexpr UINT64 HundredNanosecondsPerMinute = 600000000;
constexpr UINT32 MinutesPerDay = 1440;
constexpr UINT32 NoTimeOfDay = 960;  // 16:00
constexpr UINTN NodeOffset = 10;

}  // namespace

BOOLEAN WriteUuidTimestamp(UINT32 Minutes, UINT8 *Uuid) {
  if (Minutes == 0 || Minutes % MinutesPerDay == NoTimeOfDay) return FALSE;
  UINT64 time = (static_cast<UINT64>(Minutes) + MinutesFromUuidEpochTo1996) * HundredNanosecondsPerMinute;
  for (UINTN i = 0; i < 8; ++i) Uuid[i] = static_cast<UINT8>(time >> (8 * i));
  UINT16 timeHigh = static_cast<UINT16>(Uuid[6] | (Uuid[7] << 8));
  timeHigh = static_cast<UINT16>((timeHigh & 0x0FFF) | 0x1000);
  Uuid[6] = static_cast<UINT8>(timeHigh);
  Uuid[7] = static_cast<UINT8>(timeHigh >> 8);
  Uuid[8] = 0x80;  // RFC 4122 variant, clock sequence 0
  Uuid[9] = 0x00;
  return TRUE;
}

VOID FillSystemUuid(VOID) {
  UINT8 uuid[SystemUuidSize];
  ZeroMemory(uuid, sizeof uuid);
  EFI_SMBIOS_PROTOCOL *smbios = nullptr;
  if (EFI_ERROR(LocateProtocolInterface(&SmbiosProtocolGuid, reinterpret_cast<VOID **>(&smbios))) ||
      smbios == nullptr) {
    return;
  }
  EFI_SMBIOS_HANDLE handle = SMBIOS_HANDLE_PI_RESERVED;
  EFI_SMBIOS_TYPE type = 1;
  EFI_SMBIOS_TABLE_HEADER *record = nullptr;
  if (EFI_ERROR(smbios->GetNext(smbios, &handle, &type, &record, nullptr)) || record == nullptr) return;
  // A record without room for the UUID field is left alone: writing there would overrun it.
  if (record->Length < SystemUuidOffset + SystemUuidSize) return;
  UINT8 *field = reinterpret_cast<UINT8 *>(record) + SystemUuidOffset;
  if (CompareMemory(field, uuid, SystemUuidSize) != 0) return;

  ReadOnboardMacAddress(uuid + NodeOffset);

  PCD_PROTOCOL *pcd = GetPcdProtocol();
  if (pcd != nullptr) WriteUuidTimestamp(pcd->Get32(PcdTokenUuidTime), uuid);

  CopyMemory(field, uuid, SystemUuidSize);
}
