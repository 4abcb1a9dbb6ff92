// PI file sections: the common header and the section types, written from the published layout.
#pragma once
#include "uefi/base_types.h"

typedef UINT8 EFI_SECTION_TYPE;
#define EFI_SECTION_COMPRESSION 0x01
#define EFI_SECTION_GUID_DEFINED 0x02
#define EFI_SECTION_DISPOSABLE 0x03
#define EFI_SECTION_PE32 0x10
#define EFI_SECTION_PIC 0x11
#define EFI_SECTION_TE 0x12
#define EFI_SECTION_DXE_DEPEX 0x13
#define EFI_SECTION_VERSION 0x14
#define EFI_SECTION_USER_INTERFACE 0x15
#define EFI_SECTION_COMPATIBILITY16 0x16
#define EFI_SECTION_FIRMWARE_VOLUME_IMAGE 0x17
#define EFI_SECTION_FREEFORM_SUBTYPE_GUID 0x18
#define EFI_SECTION_RAW 0x19
#define EFI_SECTION_PEI_DEPEX 0x1B
#define EFI_SECTION_MM_DEPEX 0x1C

// Sections sit on 4-byte boundaries of their file.
#define EFI_SECTION_ALIGNMENT 4

// Size is 24 bits and counts the header. A VERSION section's data is a UINT16 build number and a
// NUL-ended UCS-2 string; a USER_INTERFACE section's data is a NUL-ended UCS-2 string.
struct EFI_COMMON_SECTION_HEADER {
  UINT8 Size[3];
  EFI_SECTION_TYPE Type;
};
static_assert(sizeof(EFI_COMMON_SECTION_HEADER) == 4, "section header");
static_assert(__builtin_offsetof(EFI_COMMON_SECTION_HEADER, Type) == 3, "section type follows the 24-bit size");
