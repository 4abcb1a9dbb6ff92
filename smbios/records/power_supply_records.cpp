// System Power Supply (type 39) records for the board's two supplies, from the FRU data the BMC returns,
// the last good image kept in a non-volatile variable, or placeholder strings when the BMC is silent.
#include "smbios/records/power_supply_records.h"

#include "smbios/entry/driver_state.h"
#include "smbios/records/power_supply_fru_decode.h"
#include "smbios/records/power_supply_fru_layout.h"
#include "smbios/records/power_supply_fru_read.h"
#include "smbios/records/power_supply_record_assembly.h"
#include "smbios/services/pool.h"
#include "smbios/services/smbios_protocol.h"
#include "smbios/services/text_and_memory.h"
#include "uefi/status.h"

namespace {

constexpr UINTN WorkBufferSize = 512;
constexpr UINT8 SupplyCount = 2;

constexpr EFI_GUID FruCacheVendorGuid = {0x2D667ED8, 0xA97C, 0x49C1, {0xAE, 0x0F, 0x40, 0x97, 0x36, 0xE2, 0x5B, 0xF4}};
constexpr UINT32 FruCacheAttributes = EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS;

struct FruCacheName {
  CHAR16 Text[5];
};

// "PSU1" for supply 1, "PSU2" for supply 2.
FruCacheName CacheNameFor(UINT8 Supply) {
  return FruCacheName{{u'P', u'S', u'U', static_cast<CHAR16>(u'0' + Supply), 0}};
}

VOID WriteFruCache(UINT8 Supply, UINT8 *Image) {
  FruCacheName name = CacheNameFor(Supply);
  EFI_GUID guid = FruCacheVendorGuid;
  DriverRuntimeServices()->SetVariable(name.Text, &guid, FruCacheAttributes, FruImageSize, Image);
}

// Reads the cached copy straight into Image, 128 bytes at most (the result is not examined). When the variable
// cannot be read (missing, or larger than the image, which the variable service refuses without writing),
// Image keeps the bytes the reads left; a shorter variable replaces the image's first bytes only.
VOID ReadFruCache(UINT8 Supply, UINT8 *Image) {
  FruCacheName name = CacheNameFor(Supply);
  EFI_GUID guid = FruCacheVendorGuid;
  UINTN size = FruImageSize;
  DriverRuntimeServices()->GetVariable(name.Text, &guid, nullptr, &size, Image);
}

VOID PublishOneSupply(const EFI_SMBIOS_PROTOCOL *Smbios, IPMI_TRANSPORT_PROTOCOL *Ipmi, UINT8 Supply, UINT8 *Record,
                      CHAR8 *Scratch) {
  UINT8 image[FruImageSize];
  ZeroMemory(image, sizeof(image));
  BOOLEAN responded = FALSE;
  PowerSupplyDescription description;

  EFI_STATUS status = ReadPowerSupplyFru(Ipmi, Supply, image, &responded);
  if (!EFI_ERROR(status)) {
    WriteFruCache(Supply, image);
    DecodePowerSupplyFru(image, Supply, Scratch, WorkBufferSize, &description);
  } else if (responded) {
    ReadFruCache(Supply, image);
    DecodePowerSupplyFru(image, Supply, Scratch, WorkBufferSize, &description);
  } else {
    DescribePlaceholderPowerSupply(Supply, Scratch, WorkBufferSize, &description);
  }

  // The assembly writes every byte of the record; what the buffer held before is past its end.
  if (EFI_ERROR(AssemblePowerSupplyRecord(&description, Supply, Record, WorkBufferSize))) return;
  EFI_SMBIOS_HANDLE handle = SMBIOS_HANDLE_PI_RESERVED;
  Smbios->Add(Smbios, nullptr, &handle, reinterpret_cast<EFI_SMBIOS_TABLE_HEADER *>(Record));
}

}  // namespace

// Without the SMBIOS protocol nothing could be published, so the BMC is not asked; the lookup status is
// returned. Without the two work buffers nothing is published and EFI_OUT_OF_RESOURCES is returned.
EFI_STATUS PublishPowerSupplies(IPMI_TRANSPORT_PROTOCOL *Ipmi) {
  EFI_STATUS status;
  EFI_SMBIOS_PROTOCOL *smbios = GetSmbiosProtocol(&status);
  if (smbios == nullptr) return status;
  if (Ipmi == nullptr) return EFI_INVALID_PARAMETER;

  UINT8 *record = static_cast<UINT8 *>(AllocateZeroed(WorkBufferSize));
  CHAR8 *scratch = static_cast<CHAR8 *>(AllocateZeroed(WorkBufferSize));
  if (record == nullptr || scratch == nullptr) {
    FreeBuffer(record);  // FreeBuffer ignores a null buffer
    FreeBuffer(scratch);
    return EFI_OUT_OF_RESOURCES;
  }

  for (UINT8 supply = 1; supply <= SupplyCount; ++supply) PublishOneSupply(smbios, Ipmi, supply, record, scratch);

  FreeBuffer(record);
  FreeBuffer(scratch);
  return EFI_SUCCESS;
}
