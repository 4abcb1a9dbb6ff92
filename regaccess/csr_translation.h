// TranslateCsrAddress: a CpuCsr RegisterAddress to the 32-bit memory address of the CSR, through the
// one-entry page cache kept in the SiliconContext (CsrTranslationCache).
#pragma once
#include "regaccess/register_address.h"

// CSR Address fields.
constexpr UINT32 CsrOffsetMask = 0x00000FFF;
constexpr UINT32 CsrPageMask = 0xFFFFF000;
constexpr UINT32 CsrPseudoRegisterFlag = 1u << 15;
constexpr UINT32 CsrWidthShift = 13;
constexpr UINT32 CsrBlockShift = 16;
constexpr UINT32 CsrBoxTypeShift = 24;

// The CSR record of the given coordinates (the width code in Address bits 13-14).
constexpr RegisterAddress MakeCsrRecord(UINT8 Socket, UINT8 BoxType, UINT8 Instance, UINT8 FunctionalBlock,
                                        UINT32 Offset, UINT32 WidthCode, UINT32 Context) {
  return RegisterAddress{(static_cast<UINT32>(BoxType) << CsrBoxTypeShift) |
                             (static_cast<UINT32>(FunctionalBlock) << CsrBlockShift) |
                             ((WidthCode & 3) << CsrWidthShift) | (Offset & CsrOffsetMask),
                         (static_cast<UINT32>(Socket) << 8) | Instance, CpuCsr, Context};
}

// Bus, device and function of a CSR record, composed by the box-type rules (no cache involved).
struct CsrLocation {
  UINT32 Bus;
  UINT32 Device;
  UINT32 Function;
};
CsrLocation LocateCsr(const RegisterAddress *Record);

// Pseudo-register offsets: keeps only Address bits 16-31 when bit 15 is set (no pseudo-register table
// exists, so such a request reaches offset 0 of the box's function with width code 0).
VOID TranslatePseudoRegister(RegisterAddress *Record);

// Writes the CSR's address to *Result and returns 0. Rewrites the record's width code (Attribute bits
// 8-11 from Address bits 13-14) and, for a pseudo-register, its Address. A record without a context
// cannot be placed: *Result becomes 0 and the return is 0x80000002 (callers then access nothing).
UINT32 TranslateCsrAddress(RegisterAddress *Record, UINT32 *Result);
