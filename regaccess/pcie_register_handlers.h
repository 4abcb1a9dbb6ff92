// Handlers of the PCIe columns of the register handler table, and the block-transfer check.
#pragma once
#include "regaccess/register_address.h"
#include "uefi/base_types.h"

// Fields of a record.
inline UINT32 RegisterType(const RegisterAddress *Record) { return Record->Attribute & 0xFF; }
inline UINT32 RegisterWidthCode(const RegisterAddress *Record) { return (Record->Attribute >> 8) & 0xF; }
inline UINT32 RegisterSegment(const RegisterAddress *Record) { return Record->Word1 & 0xFFFF; }
inline UINT32 RegisterCount(const RegisterAddress *Record) { return Record->Word1 >> 16; }

// Status values of the handlers (32-bit platform).
constexpr UINT32 RegisterSuccess = 0;
constexpr UINT32 RegisterInvalidParameter = 0x80000002u;
constexpr UINT32 RegisterUnsupported = 0x80000003u;

// Types 0 and 1: MMCFG base of the segment plus the address bits 0-27.
UINT32 PcieGetAddress(UINT32 Unused0, UINT32 Unused1, RegisterAddress *Record, UINT32 *Result);
// Type 0: one element of the record's width code. A null buffer is refused with invalid parameter, an element
// whose bytes pass the top of the 32-bit address space with unsupported (no access either way).
UINT32 PcieRead(RegisterAddress *Record, VOID *Buffer);
UINT32 PcieWrite(RegisterAddress *Record, VOID *Buffer);
// Type 1: Count elements with the FIFO and fill strides of the width code, after CheckBlockAccess.
UINT32 PcieBlockRead(RegisterAddress *Record, VOID *Buffer);
UINT32 PcieBlockWrite(RegisterAddress *Record, VOID *Buffer);
// Types 0 and 1: read, merge the masks over the element size, write back.
UINT32 PcieModify(RegisterAddress *Record, const VOID *AndMask, const VOID *OrMask);

// Validates a block transfer before any access: 0, invalid parameter (null buffer, code 12 or above)
// or unsupported (misaligned register or buffer, a run past the 32-bit address limit).
UINT32 CheckBlockAccess(UINT32 Count, UINT32 Code, UINT64 Address, const VOID *Buffer);

// Strides of the width codes 0-11, in bytes.
inline constexpr UINT8 RegisterStride[12] = {1, 2, 4, 8, 0, 0, 0, 0, 1, 2, 4, 8};
inline constexpr UINT8 BufferStride[12] = {1, 2, 4, 8, 1, 2, 4, 8, 0, 0, 0, 0};
