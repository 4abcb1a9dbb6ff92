// The driver's single module-state instance.
#include "smbios/entry/driver_state.h"

#include "smbios/records/text_and_memory.h"

DriverState gDriver;

VOID DriverStateReset(VOID) { ZeroMemory(&gDriver, sizeof(gDriver)); }
