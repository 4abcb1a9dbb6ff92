// Onboard Devices Extended Information (type 41) records for the BMC video and onboard LAN controllers.
#include "smbios/records/onboard_devices.h"

#include "smbios/board/board_inventory.h"
#include "smbios/records/additional_information.h"
#include "smbios/records/record_toolkit.h"
#include "smbios/services/pci/pci_config_window.h"
#include "smbios/services/pci/pci_io_search.h"
#include "smbios/services/pci/pci_registers.h"
#include "smbios/services/pool.h"
#include "uefi/status.h"

namespace {

#pragma pack(push, 1)
struct OnboardDeviceRecord {
  EFI_SMBIOS_TABLE_HEADER Header;
  UINT8 ReferenceDesignation;
  UINT8 DeviceType;
  UINT8 DeviceTypeInstance;
  SmbiosPciLocation Location;
};
static_assert(sizeof(OnboardDeviceRecord) == 0x0B, "type 41 is 11 bytes");
static_assert(__builtin_offsetof(OnboardDeviceRecord, DeviceTypeInstance) == 0x06 &&
                  __builtin_offsetof(OnboardDeviceRecord, Location) == 0x07,
              "type 41 fields at their offsets");
#pragma pack(pop)

constexpr UINT8 DeviceEnabled = 0x80;
constexpr UINT8 DeviceTypeVideo = 0x03;
constexpr UINT8 DeviceTypeEthernet = 0x05;

// The first bus below the video bridge whose device 0, function 0 is an ordinary function; 0 when none is.
UINT8 FindVideoBus() {
  const BoardPciPlace &bridge = OnboardVideoBridge;
  UINTN secondary = PciConfigRead8(bridge.Bus, bridge.Device, bridge.Function, PciSecondaryBusRegister);
  UINTN subordinate = PciConfigRead8(bridge.Bus, bridge.Device, bridge.Function, PciSubordinateBusRegister);
  for (UINTN bus = secondary; bus <= subordinate; ++bus) {
    if (PciIsOrdinaryFunction(PciConfigRead8(static_cast<UINT8>(bus), 0, 0, PciHeaderTypeRegister))) {
      return static_cast<UINT8>(bus);
    }
  }
  return 0;
}

// The bus of the onboard LAN function, 0 when there is none.
UINT8 FindLanBus() {
  UINT64 counter = 0;
  EFI_PCI_IO_PROTOCOL *lan = FindOnboardLan(&counter);
  if (lan == nullptr) return 0;
  UINTN segment = 0;
  UINTN bus = 0;
  UINTN device = 0;
  UINTN function = 0;
  if (EFI_ERROR(lan->GetLocation(lan, &segment, &bus, &device, &function))) return 0;
  return static_cast<UINT8>(bus);
}

// Fills the per-device fields (the rest of the buffer stays as the previous record left it), adds the record
// and its type 40 record. Bus 0 means the device was not found.
VOID PublishOne(OnboardDeviceRecord *Record, UINT8 DeviceType, UINT8 Bus, const CHAR16 *Designation) {
  EFI_PCI_IO_PROTOCOL *device = nullptr;
  Record->Header.Handle = SMBIOS_HANDLE_PI_RESERVED;
  if (Bus != 0) {
    Record->DeviceType = static_cast<UINT8>(DeviceType | DeviceEnabled);
    Record->Location.BusNumber = Bus;
    device = FindPciIoByLocation(0, Bus, 0, 0);
  } else {
    Record->DeviceType = DeviceType;
    Record->Location.BusNumber = 0;
  }
  Record->DeviceTypeInstance = 0;
  Record->Location.DeviceFunctionNumber = 0;
  SetRecordString(&Record->Header, 1, Designation);
  AddRecord(&Record->Header);
  // The add leaves the assigned handle in the header; when the add failed there is no record to refer to.
  if (Record->Header.Handle != SMBIOS_HANDLE_PI_RESERVED) {
    PublishAdditionalInformation(Record->Header.Handle, device, nullptr);
  }
}

}  // namespace

EFI_STATUS PublishOnboardDevices(VOID) {
  auto *record = static_cast<OnboardDeviceRecord *>(AllocateZeroed(SmbiosRecordBufferSize));
  if (record == nullptr) return EFI_OUT_OF_RESOURCES;
  record->Header.Type = 41;
  record->Header.Length = sizeof(OnboardDeviceRecord);
  record->ReferenceDesignation = 1;
  record->Location.SegmentGroupNumber = 0;

  PublishOne(record, DeviceTypeVideo, FindVideoBus(), OnboardVideoDesignation);
  PublishOne(record, DeviceTypeEthernet, FindLanBus(), OnboardLanDesignation);

  FreeBuffer(record);
  return EFI_SUCCESS;
}
