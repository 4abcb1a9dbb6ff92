// The module's PEIM entry point: registers the status-code listener with the report-status-code handler.
#pragma once
#include "uefi/pei_services.h"

// Both arguments are ignored: the services are found through the IDT. Returns EFI_SUCCESS; when the
// handler PPI is not installed nothing is registered.
extern "C" EFI_STATUS EFIAPI TraceStatusPeimEntry(VOID *FileHandle, const EFI_PEI_SERVICES **PeiServices);
