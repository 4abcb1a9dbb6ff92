// PCIe configuration registers one element at a time: address, read, write, read-modify-write.
#include "regaccess/mmcfg_base.h"
#include "regaccess/pcie_register_handlers.h"
#include "regaccess/register_copy.h"

UINT32 PcieGetAddress(UINT32 Unused0, UINT32 Unused1, RegisterAddress *Record, UINT32 *Result) {
  (void)Unused0;
  (void)Unused1;
  // Every caller passes its own result variable (RegisterGetAddress and the transfers below).
  *Result = GetMmcfgBase(Record) + (Record->Address & 0x0FFFFFFFu);
  return RegisterSuccess;
}

namespace {

// One element between the record's register and the buffer, in the record's width code.
UINT32 SingleTransfer(RegisterAddress *Record, VOID *Buffer, BOOLEAN Write) {
  if (Buffer == NULL) {
    return RegisterInvalidParameter;
  }
  UINT32 Address = 0;
  PcieGetAddress(0, 0, Record, &Address);
  // An element whose bytes pass the 4 GiB top is refused by the copy, before any access.
  return Write ? CopyToRegister(Buffer, RegisterWidthCode(Record), Address)
               : CopyFromRegister(Buffer, RegisterWidthCode(Record), Address);
}

}  // namespace

UINT32 PcieRead(RegisterAddress *Record, VOID *Buffer) { return SingleTransfer(Record, Buffer, FALSE); }

UINT32 PcieWrite(RegisterAddress *Record, VOID *Buffer) { return SingleTransfer(Record, Buffer, TRUE); }

UINT32 PcieModify(RegisterAddress *Record, const VOID *AndMask, const VOID *OrMask) {
  UINT8 Scratch[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  const UINT32 Status = PcieRead(Record, Scratch);
  if (Status != RegisterSuccess) {
    return Status;  // the register cannot be reached, so nothing is written back either
  }
  // The masks hold one element of the width code; codes above 3 use the size of code AND 3.
  MergeMasks(Scratch, AndMask, OrMask, AccessWidthSize(RegisterWidthCode(Record)));
  return PcieWrite(Record, Scratch);
}
