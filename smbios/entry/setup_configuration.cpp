// Loads the ten setup variables, back to back, into the driver's 7723-byte configuration image, with buffers
// from the SMM pool when running inside SMM and from boot-services pool otherwise.
#include "smbios/entry/setup_configuration.h"

#include "smbios/entry/driver_state.h"
#include "smbios/services/pool.h"
#include "smbios/services/text_and_memory.h"
#include "uefi/protocols/smm_base2.h"
#include "uefi/status.h"

namespace {

// The setup variables' vendor GUIDs, one a line.
// clang-format off
constexpr EFI_GUID SocketIioConfigGuid = {0xDD84017E, 0x7F52, 0x48F9, {0xB1, 0x6E, 0x50, 0xED, 0x9E, 0x0D, 0xBE, 0x27}};
constexpr EFI_GUID SocketCommonRcConfigGuid = {0x4402CA38, 0x808F, 0x4279, {0xBC, 0xEC, 0x5B, 0xAF, 0x8D, 0x59, 0x09, 0x2F}};
constexpr EFI_GUID SocketMpLinkConfigGuid = {0x2B9B22DE, 0x2AD4, 0x4ABC, {0x95, 0x7D, 0x5F, 0x18, 0xC5, 0x04, 0xA0, 0x5C}};
constexpr EFI_GUID SocketMemoryConfigGuid = {0x98CF19ED, 0x4109, 0x4681, {0xB7, 0x9D, 0x91, 0x96, 0x75, 0x7C, 0x78, 0x24}};
constexpr EFI_GUID SocketPowerManagementConfigGuid = {0xA1047342, 0xBDBA, 0x4DAE, {0xA6, 0x7A, 0x40, 0x97, 0x9B, 0x65, 0xC7, 0xF8}};
constexpr EFI_GUID SocketProcessorCoreConfigGuid = {0x07013588, 0xC789, 0x4E12, {0xA7, 0xC3, 0x88, 0xFA, 0xFA, 0xE7, 0x9F, 0x7C}};
constexpr EFI_GUID DraskSetupGuid = {0xEC87D643, 0xEBA4, 0x4BB5, {0xA1, 0xE5, 0x3F, 0x3E, 0x36, 0xB2, 0x0D, 0xA9}};
constexpr EFI_GUID VdxRcConfigurationGuid = {0xD19A26A3, 0x17F1, 0x48C3, {0x8A, 0x1E, 0x11, 0xEB, 0x0A, 0x7F, 0x6E, 0x4E}};
constexpr EFI_GUID UgRcConfigurationGuid = {0x2B26358D, 0xF899, 0x41C4, {0x9B, 0xC2, 0x82, 0xA3, 0x38, 0xB9, 0x93, 0xD8}};
constexpr EFI_GUID FpgaSocketConfigGuid = {0x75839B0B, 0x0A99, 0x4233, {0x8A, 0xA4, 0x38, 0x66, 0xF6, 0xCE, 0xF4, 0xB3}};
// clang-format on

// Where the buffers of one load come from: the SMM system table when the driver runs inside SMM, else
// boot-services pool.
struct SetupPool {
  EFI_SMM_SYSTEM_TABLE2 *Smst;
};

// Inside SMM only when the SMM Base2 protocol says so and hands out the SMM system table; without the
// table no SMM pool can be reached, so boot-services pool is used.
SetupPool ChoosePool() {
  SetupPool pool = {nullptr};
  EFI_GUID guid = EFI_SMM_BASE2_PROTOCOL_GUID;
  EFI_SMM_BASE2_PROTOCOL *smmBase = nullptr;
  if (EFI_ERROR(DriverBootServices()->LocateProtocol(&guid, nullptr, reinterpret_cast<VOID **>(&smmBase))) ||
      smmBase == nullptr) {
    return pool;
  }
  BOOLEAN inSmm = FALSE;
  if (EFI_ERROR(smmBase->InSmm(smmBase, &inSmm)) || !inSmm) return pool;
  EFI_SMM_SYSTEM_TABLE2 *smst = nullptr;
  if (!EFI_ERROR(smmBase->GetSmstLocation(smmBase, &smst))) pool.Smst = smst;
  return pool;
}

VOID *AllocateSetupBuffer(const SetupPool &Pool, UINTN Size) {
  if (Pool.Smst == nullptr) return AllocateZeroed(Size);
  VOID *buffer = nullptr;
  if (EFI_ERROR(Pool.Smst->SmmAllocatePool(EfiRuntimeServicesData, Size, &buffer))) return nullptr;
  if (buffer != nullptr) ZeroMemory(buffer, Size);
  return buffer;
}

VOID FreeSetupBuffer(const SetupPool &Pool, VOID *Buffer) {
  if (Pool.Smst == nullptr) {
    FreeBuffer(Buffer);
  } else {
    Pool.Smst->SmmFreePool(Buffer);
  }
}

}  // namespace

const SetupVariableEntry SetupVariableTable[] = {
    {&SocketIioConfigGuid, u"SocketIioConfig", 5414},
    {&SocketCommonRcConfigGuid, u"SocketCommonRcConfig", 18},
    {&SocketMpLinkConfigGuid, u"SocketMpLinkConfig", 70},
    {&SocketMemoryConfigGuid, u"SocketMemoryConfig", 313},
    {&SocketPowerManagementConfigGuid, u"SocketPowerManagementConfig", 171},
    {&SocketProcessorCoreConfigGuid, u"SocketProcessorCoreConfig", 75},
    {&DraskSetupGuid, u"DraskSetup", 465},
    {&VdxRcConfigurationGuid, u"VdxRcConfiguration", 1129},
    {&UgRcConfigurationGuid, u"UgRcConfiguration", 53},
    {&FpgaSocketConfigGuid, u"FpgaSocketConfig", 15},
    {nullptr, nullptr, 0},
};

// Each variable lands right after the previous one, with the size the variable service reports. A missing
// variable keeps its expected size and stays zero. A variable larger than its expected size cannot be read
// into its buffer; it is treated like a missing one (expected size, zero), so the image never takes bytes
// from beyond a buffer and never grows past its size. The sizes reported are kept per load, so a driver
// loaded again starts from the expected sizes. The work image is on the stack (only the variables' buffers
// come from pool), so a failed allocation leaves the destination as it was.
EFI_STATUS LoadSetupConfiguration(UINT8 *Destination) {
  SetupPool pool = ChoosePool();
  UINT8 image[SetupConfigurationSize];
  ZeroMemory(image, SetupConfigurationSize);

  UINTN position = 0;
  for (const SetupVariableEntry *entry = SetupVariableTable; entry->VendorGuid != nullptr; ++entry) {
    UINT8 *buffer = static_cast<UINT8 *>(AllocateSetupBuffer(pool, entry->ExpectedSize));
    if (buffer == nullptr) return EFI_OUT_OF_RESOURCES;
    UINTN size = entry->ExpectedSize;
    DriverRuntimeServices()->GetVariable(const_cast<CHAR16 *>(entry->Name), const_cast<EFI_GUID *>(entry->VendorGuid),
                                         nullptr, &size, buffer);
    // The service refuses a larger variable without writing, so the buffer is still zero.
    if (size > entry->ExpectedSize) size = entry->ExpectedSize;
    // The expected sizes add up to SetupConfigurationSize, so the image never runs past its end.
    CopyMemory(image + position, buffer, size);
    FreeSetupBuffer(pool, buffer);
    position += size;
  }

  CopyMemory(Destination, image, SetupConfigurationSize);
  return EFI_SUCCESS;
}
