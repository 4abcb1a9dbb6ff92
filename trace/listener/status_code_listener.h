// The status-code listener: every status code becomes at most one line of text, sent as one SyS-T
// string message on the trace hub.
#pragma once
#include "uefi/protocols/report_status_code_handler_ppi.h"

// Severities handed to the SyS-T encoder.
constexpr UINT32 TraceSeverityUndefined = 0;
constexpr UINT32 TraceSeverityAssert = 1;
constexpr UINT32 TraceSeverityError = 2;
constexpr UINT32 TraceSeverityInfo = 4;

constexpr UINT32 TraceTextBufferSize = 2048;

// Chooses text and severity for the code, formats the text into a stack buffer and emits it (nothing is
// emitted for a debug record whose level fails the mask). Returns EFI_SUCCESS in every case.
EFI_STATUS EFIAPI StatusCodeListener(CONST EFI_PEI_SERVICES **PeiServices, EFI_STATUS_CODE_TYPE CodeType,
                                     EFI_STATUS_CODE_VALUE Value, UINT32 Instance, CONST EFI_GUID *CallerId,
                                     CONST EFI_STATUS_CODE_DATA *Data);
