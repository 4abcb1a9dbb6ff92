// Finds the PEI services afresh on every use: the module keeps no writable data.
#include "trace/listener/pei_services.h"

#include "hw/mmio.h"
#include "uefi/status.h"

const EFI_PEI_SERVICES **GetPeiServicesPointer() {
  UINTN IdtBase = ReadIdtBase();
  if (IdtBase < sizeof(UINTN)) {
    return NULL;
  }
  // The IDT lives in ordinary memory; the word below it is set up by the PEI core.
  return *reinterpret_cast<const EFI_PEI_SERVICES ***>(IdtBase - sizeof(UINTN));
}

void LocatePpiByGuid(const EFI_GUID *Guid, VOID **Ppi) {
  if (Ppi == NULL) {
    return;
  }
  const EFI_PEI_SERVICES **PeiServices = GetPeiServicesPointer();
  if (PeiServices == NULL || *PeiServices == NULL || (*PeiServices)->LocatePpi == NULL) {
    return;
  }
  // Found through a local, so a LocatePpi that fails never changes the caller's pointer.
  VOID *Found = NULL;
  EFI_STATUS Status = (*PeiServices)->LocatePpi(PeiServices, Guid, 0, NULL, &Found);
  if (!EFI_ERROR(Status)) {
    *Ppi = Found;
  }
}
