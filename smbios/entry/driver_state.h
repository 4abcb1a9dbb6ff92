// The driver's module state: one instance, filled at entry and kept for the life of the driver.
// Every piece of writable module data lives here, so a loader that runs the driver again can reset it.
#pragma once
#include "smbios/board/slot_table.h"
#include "smbios/entry/callback_registration.h"
#include "uefi/base_types.h"
#include "uefi/protocols/hii_database.h"
#include "uefi/protocols/pcd.h"
#include "uefi/protocols/platform_callback_registry.h"
#include "uefi/protocols/smbios.h"
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

struct DriverState {
  EFI_HANDLE ImageHandle;
  EFI_SYSTEM_TABLE *SystemTable;
  EFI_BOOT_SERVICES *BootServices;
  EFI_RUNTIME_SERVICES *RuntimeServices;
  PCD_PROTOCOL *PcdProtocol;  // located on first use by GetPcdProtocol
  UINT64 EcamBase;
  SocketBusLayoutRecord SocketBusLayout;
  EFI_HII_DATABASE_PROTOCOL *HiiDatabase;
  EFI_HII_HANDLE HiiHandle;
  UINT8 SetupConfiguration[SetupConfigurationSize];
  SlotTable Slots;
  PLATFORM_CALLBACK_REGISTRY *CallbackRegistry;
  // Handed to the registry by address; kept here so it outlives the entry point whatever the registry does.
  CallbackRegistration Registration;
  // One cached SMBIOS protocol pointer per toolkit operation that locates it.
  EFI_SMBIOS_PROTOCOL *SmbiosForAdd;
  EFI_SMBIOS_PROTOCOL *SmbiosForFind;
  EFI_SMBIOS_PROTOCOL *SmbiosForRemove;
  EFI_SMBIOS_PROTOCOL *SmbiosForRemoveAll;
};

extern DriverState gDriver;

// Zeroes the module state (a fresh load of the driver).
VOID DriverStateReset(VOID);
