// Access to the PEI services table through the IDT, and PPI lookup by GUID.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"
#include "uefi/pei_services.h"

// The pointer to the PEI services table pointer, read from the word just below the IDT base
// (the PI IA-32 convention). Null when no IDT base is set.
const EFI_PEI_SERVICES **GetPeiServicesPointer();

// Looks up instance 0 of the PPI named by Guid. When the PPI is not installed, or no services table is
// reachable, *Ppi is left as the caller set it: callers preset it to null and test for null before calling
// through it.
void LocatePpiByGuid(const EFI_GUID *Guid, VOID **Ppi);
