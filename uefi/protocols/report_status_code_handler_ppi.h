// The PEI report-status-code handler PPI: registration of status-code listeners, with the PI status-code
// types, the listener signature and the common header of status-code data records.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"
#include "uefi/pei_services.h"

inline constexpr EFI_GUID gEfiPeiRscHandlerPpiGuid = {
    0x0065D394, 0x9951, 0x4144, {0x82, 0xA3, 0x0A, 0xFC, 0x85, 0x79, 0xC2, 0x51}};

typedef UINT32 EFI_STATUS_CODE_TYPE;
typedef UINT32 EFI_STATUS_CODE_VALUE;

// Code classes (bits 0-7 of the code type) and error severities (bits 24-31).
constexpr EFI_STATUS_CODE_TYPE EFI_STATUS_CODE_TYPE_MASK = 0x000000FF;
constexpr EFI_STATUS_CODE_TYPE EFI_PROGRESS_CODE = 0x00000001;
constexpr EFI_STATUS_CODE_TYPE EFI_ERROR_CODE = 0x00000002;
constexpr EFI_STATUS_CODE_TYPE EFI_DEBUG_CODE = 0x00000003;
constexpr EFI_STATUS_CODE_TYPE EFI_STATUS_CODE_SEVERITY_MASK = 0xFF000000;
constexpr EFI_STATUS_CODE_TYPE EFI_ERROR_MINOR = 0x40000000;
constexpr EFI_STATUS_CODE_TYPE EFI_ERROR_MAJOR = 0x80000000;
constexpr EFI_STATUS_CODE_TYPE EFI_ERROR_UNRECOVERED = 0x90000000;
constexpr EFI_STATUS_CODE_TYPE EFI_ERROR_UNCONTAINED = 0xA0000000;

// Common header of every status-code data record; the extended data follows it.
struct EFI_STATUS_CODE_DATA {
  UINT16 HeaderSize;
  UINT16 Size;
  EFI_GUID Type;
};
static_assert(sizeof(EFI_STATUS_CODE_DATA) == 20, "status-code data header is 20 bytes");

typedef EFI_STATUS(EFIAPI *EFI_PEI_RSC_HANDLER_CALLBACK)(IN CONST EFI_PEI_SERVICES **PeiServices,
                                                         IN EFI_STATUS_CODE_TYPE CodeType,
                                                         IN EFI_STATUS_CODE_VALUE Value, IN UINT32 Instance,
                                                         IN CONST EFI_GUID *CallerId OPTIONAL,
                                                         IN CONST EFI_STATUS_CODE_DATA *Data OPTIONAL);

typedef EFI_STATUS(EFIAPI *EFI_PEI_RSC_HANDLER_REGISTER)(IN EFI_PEI_RSC_HANDLER_CALLBACK Callback);
typedef EFI_STATUS(EFIAPI *EFI_PEI_RSC_HANDLER_UNREGISTER)(IN EFI_PEI_RSC_HANDLER_CALLBACK Callback);

struct EFI_PEI_RSC_HANDLER_PPI {
  EFI_PEI_RSC_HANDLER_REGISTER Register;
  EFI_PEI_RSC_HANDLER_UNREGISTER Unregister;
};
