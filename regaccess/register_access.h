// The register-access service: the handler table indexed by operation and address type.
#pragma once
#include "regaccess/register_address.h"
#include "uefi/base_types.h"

enum RegisterOperation : UINT32 {
  RegisterOperationGetAddress = 0,
  RegisterOperationRead = 1,
  RegisterOperationWrite = 2,
  RegisterOperationModify = 3,
};
constexpr UINT32 RegisterAddressTypes = 3;
constexpr UINT32 RegisterHandlerCount = 4 * RegisterAddressTypes;

// One slot of the table; the row says which member is valid.
union RegisterHandler {
  RegisterGetAddressHandler GetAddress;
  RegisterTransferHandler Transfer;
  RegisterModifyHandler Modify;
};

// Row after row: index = operation * 3 + type.
extern const RegisterHandler RegisterHandlerTable[RegisterHandlerCount];

// The 32-bit address of the register the record names; 0 for an address type above 2.
UINT32 RegisterGetAddress(RegisterAddress *Record);

// Dispatch of the other rows for callers outside the module; an address type above 2 is unsupported.
UINT32 RegisterRead(RegisterAddress *Record, VOID *Buffer);
UINT32 RegisterWrite(RegisterAddress *Record, VOID *Buffer);
UINT32 RegisterModify(RegisterAddress *Record, const VOID *AndMask, const VOID *OrMask);
