// The publishing callback: the steps that amend, remove, rebuild and add the board's records, in order.
#include "smbios/entry/publish_board_smbios.h"

#include "smbios/entry/driver_state.h"
#include "smbios/records/onboard_devices.h"
#include "smbios/records/power_supply_records.h"
#include "smbios/records/record_toolkit.h"
#include "smbios/records/slot_record.h"
#include "smbios/records/system_uuid.h"
#include "smbios/services/protocol_lookup.h"
#include "uefi/protocols/ipmi_transport.h"
#include "uefi/status.h"

namespace {

constexpr EFI_GUID kIpmiTransportGuid = IPMI_TRANSPORT_PROTOCOL_GUID;

// Voltage, cooling, temperature and current probes: removed, and never published again by this driver.
constexpr UINT8 kRemovedAfterPowerSupplies[] = {41, 26, 27, 28, 29};

}  // namespace

EFI_STATUS EFIAPI PublishBoardSmbios(VOID) {
  FillSystemUuid();

  RemoveAllRecordsOfType(9);
  SlotTable *table = DriverSlotTable();
  UINTN slots = table->Count;  // BuildBoardTables, its only writer, stops at SlotTableCapacity
  for (UINTN i = 0; i < slots; ++i) BuildSlotRecord(&table->Entries[i]);
  EFI_STATUS result = slots != 0 ? EFI_SUCCESS : EFI_NOT_FOUND;

  RemoveAllRecordsOfType(39);
  VOID *ipmi = nullptr;
  if (!EFI_ERROR(LocateProtocolInterface(&kIpmiTransportGuid, &ipmi))) {
    PublishPowerSupplies(static_cast<IPMI_TRANSPORT_PROTOCOL *>(ipmi));
  }

  for (UINT8 type : kRemovedAfterPowerSupplies) RemoveAllRecordsOfType(type);
  PublishOnboardDevices();
  return result;
}
