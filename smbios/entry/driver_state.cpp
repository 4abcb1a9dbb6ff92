// The driver's single module-state instance and its accessors.
#include "smbios/entry/driver_state.h"

namespace {

struct DriverState {
  EFI_HANDLE ImageHandle;
  EFI_SYSTEM_TABLE *SystemTable;
  EFI_BOOT_SERVICES *BootServices;
  EFI_RUNTIME_SERVICES *RuntimeServices;
  UINT64 EcamBase;
  SocketBusLayoutRecord SocketBusLayout;
  EFI_HII_HANDLE HiiHandle;
  UINT8 SetupConfiguration[SetupConfigurationSize];
  SlotTable Slots;
  CallbackRegistration Registration;
  VOID *Protocols[CachedProtocolCount];
};

DriverState gDriver;

}  // namespace

VOID DriverStateReset(VOID) { gDriver = DriverState{}; }

VOID DriverAttach(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
  gDriver.ImageHandle = ImageHandle;
  gDriver.SystemTable = SystemTable;
  gDriver.BootServices = SystemTable != nullptr ? SystemTable->BootServices : nullptr;
  gDriver.RuntimeServices = SystemTable != nullptr ? SystemTable->RuntimeServices : nullptr;
}

EFI_HANDLE DriverImageHandle(VOID) { return gDriver.ImageHandle; }
EFI_SYSTEM_TABLE *DriverSystemTable(VOID) { return gDriver.SystemTable; }
EFI_BOOT_SERVICES *DriverBootServices(VOID) { return gDriver.BootServices; }
EFI_RUNTIME_SERVICES *DriverRuntimeServices(VOID) { return gDriver.RuntimeServices; }

UINT64 DriverEcamBase(VOID) { return gDriver.EcamBase; }
VOID DriverSetEcamBase(UINT64 EcamBase) { gDriver.EcamBase = EcamBase; }

const SocketBusLayoutRecord *DriverSocketBusLayout(VOID) { return &gDriver.SocketBusLayout; }
SocketBusLayoutRecord *DriverSocketBusLayoutForUpdate(VOID) { return &gDriver.SocketBusLayout; }

UINT8 *DriverSetupConfiguration(VOID) { return gDriver.SetupConfiguration; }

SlotTable *DriverSlotTable(VOID) { return &gDriver.Slots; }

EFI_HII_HANDLE DriverHiiHandle(VOID) { return gDriver.HiiHandle; }
VOID DriverSetHiiHandle(EFI_HII_HANDLE Handle) { gDriver.HiiHandle = Handle; }

CallbackRegistration *DriverCallbackRegistration(VOID) { return &gDriver.Registration; }

VOID **DriverProtocolCache(DriverCachedProtocol Which) { return &gDriver.Protocols[Which]; }
