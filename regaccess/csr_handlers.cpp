// The CPU CSR column of the register handler table: address, read, write and read-modify-write.
#include "regaccess/csr_translation.h"
#include "regaccess/pcie_register_handlers.h"
#include "regaccess/register_address.h"
#include "regaccess/register_copy.h"

UINT32 CsrGetAddress(UINT32 Unused0, UINT32 Unused1, RegisterAddress *Record, UINT32 *Result) {
  (VOID) Unused0;
  (VOID) Unused1;
  return TranslateCsrAddress(Record, Result);
}

namespace {

// The address of a single transfer; a null buffer is refused before the translation, like the PCIe
// single accesses.
UINT32 TransferAddress(RegisterAddress *Record, const VOID *Buffer, UINT32 *Address) {
  if (Buffer == nullptr) {
    return RegisterInvalidParameter;
  }
  return TranslateCsrAddress(Record, Address);
}

}  // namespace

UINT32 CsrRead(RegisterAddress *Record, VOID *Buffer) {
  UINT32 Address;
  const UINT32 Status = TransferAddress(Record, Buffer, &Address);
  if (Status != RegisterSuccess) {
    return Status;
  }
  return CopyFromRegister(Buffer, RegisterWidthCode(Record), Address);
}

UINT32 CsrWrite(RegisterAddress *Record, VOID *Buffer) {
  UINT32 Address;
  const UINT32 Status = TransferAddress(Record, Buffer, &Address);
  if (Status != RegisterSuccess) {
    return Status;
  }
  return CopyToRegister(Buffer, RegisterWidthCode(Record), Address);
}

// The address is resolved once for the read and the write. The translation leaves a width code of
// 0-3, so the element is 1, 2, 4 or 8 bytes.
UINT32 CsrModify(RegisterAddress *Record, const VOID *AndMask, const VOID *OrMask) {
  UINT32 Address;
  const UINT32 Status = TranslateCsrAddress(Record, &Address);
  if (Status != RegisterSuccess) {
    return Status;
  }
  const UINT32 Code = RegisterWidthCode(Record);
  UINT8 Scratch[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  const UINT32 Copied = CopyFromRegister(Scratch, Code, Address);
  if (Copied != RegisterSuccess) {
    return Copied;  // an element past the 4 GiB top is neither read nor written
  }
  MergeMasks(Scratch, AndMask, OrMask, AccessWidthSize(Code));
  return CopyToRegister(Scratch, Code, Address);
}
