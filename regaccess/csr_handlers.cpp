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

// One single transfer; a null buffer is refused before the translation, like the PCIe single accesses.
UINT32 Transfer(RegisterAddress *Record, VOID *Buffer, bool Write) {
  if (Buffer == nullptr) {
    return RegisterInvalidParameter;
  }
  UINT32 Address;
  const UINT32 Status = TranslateCsrAddress(Record, &Address);
  if (Status != RegisterSuccess) {
    return Status;
  }
  const UINT32 Code = RegisterWidthCode(Record);
  return Write ? CopyToRegister(Buffer, Code, Address) : CopyFromRegister(Buffer, Code, Address);
}

}  // namespace

UINT32 CsrRead(RegisterAddress *Record, VOID *Buffer) { return Transfer(Record, Buffer, false); }

UINT32 CsrWrite(RegisterAddress *Record, VOID *Buffer) { return Transfer(Record, Buffer, true); }

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
