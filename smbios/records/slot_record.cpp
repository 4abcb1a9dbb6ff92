// The System Slots (type 9) record of one slot: fixed characteristics from the slot entry, live state from the
// hardware (socket present, root port, link, the card found), followed by the slot's type 40 record.
#include "smbios/records/slot_record.h"

#include "smbios/entry/driver_state.h"
#include "smbios/records/additional_information.h"
#include "smbios/records/record_toolkit.h"
#include "smbios/records/slot_classification.h"
#include "smbios/records/slot_root_port.h"
#include "smbios/services/pool.h"
#include "smbios/services/text_and_memory.h"
#include "uefi/status.h"

namespace {

#pragma pack(push, 1)
struct SystemSlotsRecord {  // SMBIOS 2.6 layout
  EFI_SMBIOS_TABLE_HEADER Header;
  UINT8 SlotDesignation;
  UINT8 SlotType;
  UINT8 SlotDataBusWidth;
  UINT8 CurrentUsage;
  UINT8 SlotLength;
  UINT16 SlotId;
  UINT8 SlotCharacteristics1;
  UINT8 SlotCharacteristics2;
  SmbiosPciLocation Location;
};
#pragma pack(pop)
static_assert(sizeof(SystemSlotsRecord) == 0x11, "type 9 in the SMBIOS 2.6 layout is 17 bytes");
static_assert(__builtin_offsetof(SystemSlotsRecord, SlotId) == 0x09 &&
                  __builtin_offsetof(SystemSlotsRecord, Location) == 0x0D,
              "type 9 fields at their offsets");

constexpr UINT8 UsageUnknown = 0x02;
constexpr UINT8 UsageAvailable = 0x03;
constexpr UINT8 UsageInUse = 0x04;
constexpr UINT8 Provides3_3Volts = 0x04;
constexpr UINT8 PmeAndSmbusSignals = 0x05;
constexpr UINT32 WidthCodeX16 = 2;

BOOLEAN SocketPresent(UINT8 Socket) {
  const SocketBusLayoutRecord &layout = *DriverSocketBusLayout();
  if (layout.Valid == 0 || Socket > 7) return FALSE;
  return (layout.SocketPresentMask & 0xFF & (1u << Socket)) != 0 ? TRUE : FALSE;
}

// Fills usage, location and device class from the hardware. Every failure ends the probe and keeps the fields
// written so far. Returns the card found in the slot, or null.
EFI_PCI_IO_PROTOCOL *ProbeSlot(const SlotEntry *Entry, SystemSlotsRecord *Record) {
  if (!SocketPresent(Entry->Socket)) return nullptr;
  Record->CurrentUsage = UsageAvailable;
  UINT8 segment = 0;
  UINT8 bus = 0;
  UINT8 device = 0;
  if (EFI_ERROR(FindSlotRootPort(Entry, &segment, &bus, &device))) return nullptr;
  Record->Location.SegmentGroupNumber = segment;
  Record->Location.BusNumber = bus;
  Record->Location.DeviceFunctionNumber = static_cast<UINT8>(device << 3);
  if (!IsLinkActive(bus, device)) return nullptr;
  Record->CurrentUsage = UsageInUse;

  SlotDeviceClass deviceClass = SlotClassNone;
  EFI_PCI_IO_PROTOCOL *card = nullptr;
  if (!EFI_ERROR(FindSlotRootPort(Entry, &segment, &bus, &device)) && IsLinkActive(bus, device)) {
    deviceClass = ClassifySlotDevice(segment, bus, device, &card);
  }
  Record->SlotCharacteristics2 =
      static_cast<UINT8>((Record->SlotCharacteristics2 & 0x0F) | (static_cast<UINT8>(deviceClass) << 4));
  if (card != nullptr) {
    UINTN cardSegment = 0;
    UINTN cardBus = 0;
    UINTN cardDevice = 0;
    UINTN cardFunction = 0;
    if (!EFI_ERROR(card->GetLocation(card, &cardSegment, &cardBus, &cardDevice, &cardFunction))) {
      Record->Location.BusNumber = static_cast<UINT8>(cardBus);
      Record->Location.DeviceFunctionNumber = static_cast<UINT8>(((cardDevice & 0x1F) << 3) | (cardFunction & 0x07));
    }
  }
  return card;
}

}  // namespace

EFI_STATUS BuildSlotRecord(const SlotEntry *Entry) {
  auto *record = static_cast<SystemSlotsRecord *>(AllocateBuffer(SmbiosRecordBufferSize));
  if (record == nullptr) return EFI_OUT_OF_RESOURCES;
  ZeroMemory(record, SmbiosRecordBufferSize);

  record->Header.Type = 9;
  record->Header.Length = sizeof(SystemSlotsRecord);
  record->Header.Handle = SMBIOS_HANDLE_PI_RESERVED;
  record->SlotDesignation = 1;
  // A designation the string set cannot hold (64 characters or more) would leave string 1 named but absent,
  // and the table would refuse the whole record: the slot is published without a designation instead.
  if (EFI_ERROR(SetRecordString(&record->Header, 1, Entry->Designation))) record->SlotDesignation = 0;

  BOOLEAN x16 = Entry->WidthCode == WidthCodeX16 ? TRUE : FALSE;
  record->CurrentUsage = UsageUnknown;
  record->Location.BusNumber = 0xFF;
  record->Location.DeviceFunctionNumber = 0;
  record->Location.SegmentGroupNumber = 0;
  record->SlotCharacteristics1 = Provides3_3Volts;
  record->SlotCharacteristics2 = PmeAndSmbusSignals;
  record->SlotType = x16 ? 0xB6 : 0xB5;
  record->SlotDataBusWidth = x16 ? 0x0D : 0x0B;
  record->SlotLength = x16 ? 0x04 : 0x03;
  record->SlotId = static_cast<UINT16>((static_cast<UINT32>(Entry->SlotIdHigh) << 8) | Entry->SlotNumber);

  EFI_PCI_IO_PROTOCOL *card = ProbeSlot(Entry, record);

  AddRecord(&record->Header);
  // The add leaves the assigned handle in the header; when the add failed there is no record to refer to.
  if (record->Header.Handle != SMBIOS_HANDLE_PI_RESERVED) {
    PublishAdditionalInformation(record->Header.Handle, card, Entry);
  }
  FreeBuffer(record);
  return EFI_SUCCESS;
}
