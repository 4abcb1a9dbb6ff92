// Entry points of the register-access service: each looks up its row of the handler table by type.
#include "regaccess/pcie_register_handlers.h"
#include "regaccess/register_access.h"

namespace {

// The table slot for an operation on the record's type, or null for a type above 2.
const RegisterHandler *HandlerFor(UINT32 Operation, const RegisterAddress *Record) {
  if (Record == NULL) {
    return NULL;
  }
  UINT32 Type = RegisterType(Record);
  if (Type >= RegisterAddressTypes) {
    return NULL;
  }
  return &RegisterHandlerTable[Operation * RegisterAddressTypes + Type];
}

}  // namespace

UINT32 RegisterGetAddress(RegisterAddress *Record) {
  const RegisterHandler *Handler = HandlerFor(RegisterOperationGetAddress, Record);
  UINT32 Result = 0;
  if (Handler != NULL) {
    Handler->GetAddress(0, 0, Record, &Result);
  }
  return Result;
}

UINT32 RegisterRead(RegisterAddress *Record, VOID *Buffer) {
  const RegisterHandler *Handler = HandlerFor(RegisterOperationRead, Record);
  return Handler != NULL ? Handler->Transfer(Record, Buffer) : RegisterUnsupported;
}

UINT32 RegisterWrite(RegisterAddress *Record, VOID *Buffer) {
  const RegisterHandler *Handler = HandlerFor(RegisterOperationWrite, Record);
  return Handler != NULL ? Handler->Transfer(Record, Buffer) : RegisterUnsupported;
}

UINT32 RegisterModify(RegisterAddress *Record, const VOID *AndMask, const VOID *OrMask) {
  const RegisterHandler *Handler = HandlerFor(RegisterOperationModify, Record);
  return Handler != NULL ? Handler->Modify(Record, AndMask, OrMask) : RegisterUnsupported;
}
