// Opcodes of PI dependency expressions (DXE_DEPEX and PEI_DEPEX sections), written from the published layout.
// An expression is a postfix program over a stack of booleans; PUSH, BEFORE and AFTER take a 16-byte GUID.
#pragma once

#define EFI_DEP_BEFORE 0x00  // DXE only, the whole expression: dispatch before the named driver
#define EFI_DEP_AFTER 0x01   // DXE only, the whole expression: dispatch after the named driver
#define EFI_DEP_PUSH 0x02    // TRUE when the protocol (DXE) or PPI (PEI) named by the GUID is installed
#define EFI_DEP_AND 0x03
#define EFI_DEP_OR 0x04
#define EFI_DEP_NOT 0x05
#define EFI_DEP_TRUE 0x06
#define EFI_DEP_FALSE 0x07
#define EFI_DEP_END 0x08
#define EFI_DEP_SOR 0x09  // DXE only, first opcode: schedule on request
