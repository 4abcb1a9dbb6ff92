// The driver's module state: one instance, filled at entry and kept for the life of the driver, reached only
// through these accessors. Every piece of writable module data lives here, so a loader that runs the driver
// again can reset it.
#pragma once
#include "smbios/board/slot_entry.h"
#include "smbios/entry/callback_registration.h"
#include "uefi/base_types.h"
#include "uefi/protocols/hii_database.h"
#include "uefi/system_table.h"

constexpr UINTN SetupConfigurationSize = 7723;

#pragma pack(push, 1)
struct SocketBusEntry {
  UINT8 Segment;
  UINT8 StackPresentMask;
  UINT8 StackBus[6];
};
struct SocketBusLayoutRecord {
  UINT8 Valid;
  UINT8 Reserved[3];
  UINT32 SocketPresentMask;
  SocketBusEntry Sockets[8];
};
#pragma pack(pop)
static_assert(sizeof(SocketBusLayoutRecord) == 72, "SocketBusLayout is 72 bytes");

// Zeroes the module state (a fresh load of the driver).
VOID DriverStateReset(VOID);

// The image handle and system table handed to the entry point, with the boot and runtime services taken
// from the table (both null for a null table).
VOID DriverAttach(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);
EFI_HANDLE DriverImageHandle(VOID);
EFI_SYSTEM_TABLE *DriverSystemTable(VOID);
EFI_BOOT_SERVICES *DriverBootServices(VOID);
EFI_RUNTIME_SERVICES *DriverRuntimeServices(VOID);

// The PCI Express configuration base (PCD token 44).
UINT64 DriverEcamBase(VOID);
VOID DriverSetEcamBase(UINT64 EcamBase);

// The socket/stack bus layout (PCD token 30): read by the lookups, filled at entry.
const SocketBusLayoutRecord *DriverSocketBusLayout(VOID);
SocketBusLayoutRecord *DriverSocketBusLayoutForUpdate(VOID);

// The setup configuration image, SetupConfigurationSize bytes.
UINT8 *DriverSetupConfiguration(VOID);

// The board's slot table.
SlotTable *DriverSlotTable(VOID);

// The HII handle of the registered string package.
EFI_HII_HANDLE DriverHiiHandle(VOID);
VOID DriverSetHiiHandle(EFI_HII_HANDLE Handle);

// The record handed to the registry by address; kept here so it outlives the entry point.
CallbackRegistration *DriverCallbackRegistration(VOID);

// The protocol pointers the driver locates once and keeps.
enum DriverCachedProtocol {
  CachedPcd,               // located on first use by GetPcdProtocol
  CachedHiiDatabase,       // located at entry
  CachedCallbackRegistry,  // located when the callback is registered
  CachedSmbios,            // located on first use by the record toolkit
  CachedProtocolCount,
};
// The cache slot of one protocol (null until the protocol is found).
VOID **DriverProtocolCache(DriverCachedProtocol Which);
