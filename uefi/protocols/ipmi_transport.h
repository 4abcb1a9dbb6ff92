// The platform's IPMI transport protocol, as the driver uses it: a 64-bit revision field, the completion
// code of the last command, then the send operation as the third pointer-sized member.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"
#include "uefi/system_table.h"

#define IPMI_TRANSPORT_PROTOCOL_GUID                                               \
  {                                                                                \
    0x4A1D0E66, 0x5271, 0x4E22, { 0x83, 0xFE, 0x90, 0x92, 0x1B, 0x74, 0x82, 0x13 } \
  }

struct IPMI_TRANSPORT_PROTOCOL;

typedef EFI_STATUS(EFIAPI *IPMI_SEND_COMMAND)(IN IPMI_TRANSPORT_PROTOCOL *This, IN UINT8 NetFunction, IN UINT8 Lun,
                                              IN UINT8 Command, IN UINT8 *RequestData, IN UINT8 RequestDataSize,
                                              OUT UINT8 *ResponseData, IN OUT UINT32 *ResponseDataSize);

struct IPMI_TRANSPORT_PROTOCOL {
  UINT64 Revision;
  UINT8 CompletionCode;  // completion code of the last command sent
  IPMI_SEND_COMMAND SendIpmiCommand;
  EFI_UNTYPED_SERVICE GetBmcStatus;
};
static_assert(__builtin_offsetof(IPMI_TRANSPORT_PROTOCOL, CompletionCode) == 8 &&
                  __builtin_offsetof(IPMI_TRANSPORT_PROTOCOL, SendIpmiCommand) == 8 + sizeof(VOID *),
              "the completion code follows the revision; the functions are pointer-aligned after it");
