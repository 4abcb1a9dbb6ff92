// The PEIM entry point of the tracing module.
#include "trace/listener/peim_entry.h"

#include "trace/listener/pei_services.h"
#include "trace/listener/status_code_listener.h"
#include "uefi/protocols/report_status_code_handler_ppi.h"
#include "uefi/status.h"

extern "C" EFI_STATUS EFIAPI TraceStatusPeimEntry(VOID *, const EFI_PEI_SERVICES **) {
  VOID *Ppi = NULL;
  LocatePpiByGuid(&gEfiPeiRscHandlerPpiGuid, &Ppi);
  EFI_PEI_RSC_HANDLER_PPI *Handler = static_cast<EFI_PEI_RSC_HANDLER_PPI *>(Ppi);
  // Without the handler there is nothing to register with; its status is not examined either way.
  if (Handler != NULL && Handler->Register != NULL) {
    Handler->Register(StatusCodeListener);
  }
  return EFI_SUCCESS;
}
