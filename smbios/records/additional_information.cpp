// The Additional Information (type 40) record: the "_AST" PCI identity block and, for add-in cards of one
// subsystem vendor, the "_VPD" block followed by the card's VPD with "VB" naming the slot.
#include "smbios/records/additional_information.h"

#include "smbios/records/record_toolkit.h"
#include "smbios/records/vpd_reader.h"
#include "smbios/records/vpd_slot_keyword.h"
#include "smbios/services/pci/pci_registers.h"
#include "smbios/services/pool.h"
#include "smbios/services/text_and_memory.h"
#include "uefi/status.h"

namespace {

#pragma pack(push, 1)
// How both blocks start: four signature characters, version 1, the block's length.
struct BlockHeader {
  UINT8 Signature[4];
  UINT8 Version;
  UINT8 Length;
};
struct IdentityBlock {
  BlockHeader Header;      // "_AST", the whole block
  UINT32 VendorDevice;     // configuration dword 0x00
  UINT32 SubsystemIds;     // configuration dword 0x2C
  UINT8 BaseClass;         // 0x0B
  UINT8 SubClass;          // 0x0A
  UINT8 ProgrammingIface;  // 0x09
};
struct AdditionalInformationRecord {
  EFI_SMBIOS_TABLE_HEADER Header;
  UINT8 NumberOfEntries;
  UINT8 EntryLength;
  UINT16 ReferencedHandle;
  UINT8 ReferencedOffset;
  UINT8 String;
  IdentityBlock Identity;
  BlockHeader Vpd;  // "_VPD", the header alone; the VPD bytes follow it
  // the VPD image follows
};
#pragma pack(pop)
static_assert(sizeof(IdentityBlock) == 17 && sizeof(AdditionalInformationRecord) == 33,
              "identity block 17 bytes, type 40 without VPD 33 bytes");
static_assert(__builtin_offsetof(AdditionalInformationRecord, Identity) == 0x0A &&
                  __builtin_offsetof(AdditionalInformationRecord, Vpd) == 0x0A + sizeof(IdentityBlock),
              "type 40: one entry, its identity block, then the VPD header");

VOID FillBlockHeader(BlockHeader *Header, const CHAR8 *Signature, UINTN Length) {
  CopyMemory(Header->Signature, Signature, sizeof Header->Signature);
  Header->Version = 1;
  Header->Length = static_cast<UINT8>(Length);
}

VOID FillIdentity(EFI_PCI_IO_PROTOCOL *Card, IdentityBlock *Block) {
  FillBlockHeader(&Block->Header, "_AST", sizeof(IdentityBlock));
  // The filler of a position without a device. With a device it is the value a read that fails leaves in
  // place (Pci.Read statuses are not examined), so no stack byte is published and a failed subsystem read
  // never passes the VPD vendor test.
  Block->VendorDevice = 0xFFFFFFFF;
  Block->SubsystemIds = 0;
  Block->BaseClass = 0xFF;
  Block->SubClass = 0xFF;
  Block->ProgrammingIface = 0xFF;
  if (Card == nullptr) return;
  Card->Pci.Read(Card, EfiPciIoWidthUint32, PciVendorIdRegister, 1, &Block->VendorDevice);
  Card->Pci.Read(Card, EfiPciIoWidthUint32, PciSubsystemIdsRegister, 1, &Block->SubsystemIds);
  Card->Pci.Read(Card, EfiPciIoWidthUint8, PciBaseClassRegister, 1, &Block->BaseClass);
  Card->Pci.Read(Card, EfiPciIoWidthUint8, PciSubClassRegister, 1, &Block->SubClass);
  Card->Pci.Read(Card, EfiPciIoWidthUint8, PciProgrammingInterfaceRegister, 1, &Block->ProgrammingIface);
}

}  // namespace

EFI_STATUS PublishAdditionalInformation(EFI_SMBIOS_HANDLE ReferencedHandle, EFI_PCI_IO_PROTOCOL *Card,
                                        const SlotEntry *Slot) {
  auto *record = static_cast<AdditionalInformationRecord *>(AllocateZeroed(SmbiosRecordBufferSize));
  if (record == nullptr) return EFI_OUT_OF_RESOURCES;
  record->Header.Type = 40;
  record->Header.Handle = SMBIOS_HANDLE_PI_RESERVED;
  record->NumberOfEntries = 1;

  IdentityBlock identity;
  FillIdentity(Card, &identity);
  BlockHeader vpd;
  ZeroMemory(&vpd, sizeof vpd);
  UINT8 *image = nullptr;
  UINTN imageLength = 0;
  if (Slot != nullptr && static_cast<UINT16>(identity.SubsystemIds) == VpdCardSubsystemVendor) {
    FillBlockHeader(&vpd, "_VPD", sizeof vpd);
    if (Card != nullptr) {
      UINTN segment = 0;
      UINTN bus = 0;
      UINTN device = 0;
      UINTN function = 0;
      if (!EFI_ERROR(Card->GetLocation(Card, &segment, &bus, &device, &function)) &&
          EFI_ERROR(ReadVpdImage(static_cast<UINT8>(bus), static_cast<UINT8>(device & 0x1F),
                                 static_cast<UINT8>(function & 0x07), &image, &imageLength))) {
        image = nullptr;
        imageLength = 0;
      }
    }
  }

  record->ReferencedHandle = ReferencedHandle;
  record->ReferencedOffset = 0;
  record->String = 0;
  CopyMemory(&record->Identity, &identity, sizeof identity);
  CopyMemory(&record->Vpd, &vpd, sizeof vpd);

  UINTN appended = 0;
  if (image != nullptr) {
    PatchVpdSlotKeyword(Slot, image, imageLength);
    appended =
        imageLength <= MaxRecordVpdBytes ? imageLength : VpdWholeResourcesWithin(image, imageLength, MaxRecordVpdBytes);
    CopyMemory(reinterpret_cast<UINT8 *>(record) + sizeof(AdditionalInformationRecord), image, appended);
    FreeBuffer(image);
  }
  record->EntryLength =
      static_cast<UINT8>(sizeof(AdditionalInformationRecord) - sizeof(EFI_SMBIOS_TABLE_HEADER) - 1 + appended);
  record->Header.Length = static_cast<UINT8>(sizeof(AdditionalInformationRecord) + appended);
  AddRecord(&record->Header);
  FreeBuffer(record);
  return EFI_SUCCESS;
}
