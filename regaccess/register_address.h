// The register address record and the handler shapes of the register-access service.
#pragma once
#include "uefi/base_types.h"

// Address types (Attribute bits 0-7).
enum RegisterAddressType : UINT32 {
  PcieConfig = 0,
  PcieConfigBlock = 1,
  CpuCsr = 2,
};

// Four 32-bit words describing one register. Context is a 32-bit pointer to the SiliconContext; in
// 64-bit host builds (tools, benchmarks) the caller places the context below 4 GiB so the record is unchanged.
struct RegisterAddress {
  UINT32 Address;
  UINT32 Word1;      // PCIe: Segment (bits 0-15), Count (bits 16-31). CSR: BoxInstance (0-7), Socket (8-15).
  UINT32 Attribute;  // bits 0-7 type, bits 8-11 AccessWidth code.
  UINT32 Context;    // pointer to the SiliconContext, or 0
};
static_assert(sizeof(RegisterAddress) == 16, "RegisterAddress is four 32-bit words");
static_assert(__builtin_offsetof(RegisterAddress, Attribute) == 8 && __builtin_offsetof(RegisterAddress, Context) == 12,
              "Attribute and Context are the third and fourth words whatever the half");

inline UINT8 *RegisterContext(const RegisterAddress *Record) {
  return reinterpret_cast<UINT8 *>(static_cast<UINTN>(Record->Context));
}

// Handler shapes (index in the handler table = operation * 3 + type).
typedef UINT32 (*RegisterGetAddressHandler)(UINT32 Unused0, UINT32 Unused1, RegisterAddress *Record, UINT32 *Result);
typedef UINT32 (*RegisterTransferHandler)(RegisterAddress *Record, VOID *Buffer);
typedef UINT32 (*RegisterModifyHandler)(RegisterAddress *Record, const VOID *AndMask, const VOID *OrMask);

// The CPU CSR column of the handler table.
UINT32 CsrGetAddress(UINT32 Unused0, UINT32 Unused1, RegisterAddress *Record, UINT32 *Result);
UINT32 CsrRead(RegisterAddress *Record, VOID *Buffer);
UINT32 CsrWrite(RegisterAddress *Record, VOID *Buffer);
UINT32 CsrModify(RegisterAddress *Record, const VOID *AndMask, const VOID *OrMask);
