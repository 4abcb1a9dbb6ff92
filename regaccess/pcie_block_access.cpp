// Blocks of PCIe configuration registers: the parameter check and the plain, FIFO and fill transfers.
#include "regaccess/pcie_register_handlers.h"
#include "regaccess/register_copy.h"

UINT32 CheckBlockAccess(UINT32 Count, UINT32 Code, UINT64 Address, const VOID *Buffer) {
  if (Buffer == NULL || Code >= 12) {
    return RegisterInvalidParameter;
  }
  if (Code >= 4 && Code <= 7) {
    Count = 1;  // a FIFO transfer stays on one register
  }
  UINT32 Width = Code & 3;
  UINT64 Size = 1ull << Width;
  if ((Address & (Size - 1)) != 0) {
    return RegisterUnsupported;
  }
  if (Count == 0) {
    if (Address > 0xFFFFFFFFull) {
      return RegisterUnsupported;
    }
  } else {
    UINT64 Limit = 0xFFFFFFFFull >> Width;
    if (Limit < static_cast<UINT64>(Count) - 1) {
      return RegisterUnsupported;
    }
    if (Address > ((Limit - Count + 1) << Width)) {
      return RegisterUnsupported;
    }
  }
  UINT64 BufferAlign = Size < 4 ? Size : 4;
  if ((static_cast<UINT64>(reinterpret_cast<UINTN>(Buffer)) & (BufferAlign - 1)) != 0) {
    return RegisterUnsupported;
  }
  return RegisterSuccess;
}

namespace {

UINT32 BlockTransfer(RegisterAddress *Record, VOID *Buffer, BOOLEAN Write) {
  UINT32 Count = RegisterCount(Record);
  UINT32 Code = RegisterWidthCode(Record);
  UINT32 Address = 0;
  PcieGetAddress(0, 0, Record, &Address);
  UINT32 Status = CheckBlockAccess(Count, Code, Address, Buffer);
  if ((Status & 0x80000000u) != 0) {
    return Status;
  }
  UINT8 *Element = static_cast<UINT8 *>(Buffer);
  for (UINT32 i = 0; i < Count; ++i) {
    if (Write) {
      CopyToRegister(Element, Code & 3, Address);
    } else {
      CopyFromRegister(Element, Code & 3, Address);
    }
    Address += RegisterStride[Code];
    Element += BufferStride[Code];
  }
  return RegisterSuccess;
}

}  // namespace

UINT32 PcieBlockRead(RegisterAddress *Record, VOID *Buffer) { return BlockTransfer(Record, Buffer, FALSE); }

UINT32 PcieBlockWrite(RegisterAddress *Record, VOID *Buffer) { return BlockTransfer(Record, Buffer, TRUE); }
