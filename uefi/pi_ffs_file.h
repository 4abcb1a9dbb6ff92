// PI firmware file (FFS) header: types, attributes and states, written from the published layout.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"

typedef UINT8 EFI_FV_FILETYPE;
#define EFI_FV_FILETYPE_RAW 0x01
#define EFI_FV_FILETYPE_FREEFORM 0x02
#define EFI_FV_FILETYPE_SECURITY_CORE 0x03
#define EFI_FV_FILETYPE_PEI_CORE 0x04
#define EFI_FV_FILETYPE_DXE_CORE 0x05
#define EFI_FV_FILETYPE_PEIM 0x06
#define EFI_FV_FILETYPE_DRIVER 0x07
#define EFI_FV_FILETYPE_COMBINED_PEIM_DRIVER 0x08
#define EFI_FV_FILETYPE_APPLICATION 0x09
#define EFI_FV_FILETYPE_MM 0x0A
#define EFI_FV_FILETYPE_FIRMWARE_VOLUME_IMAGE 0x0B
#define EFI_FV_FILETYPE_FFS_PAD 0xF0

typedef UINT8 EFI_FFS_FILE_ATTRIBUTES;
#define FFS_ATTRIB_LARGE_FILE 0x01
#define FFS_ATTRIB_DATA_ALIGNMENT_2 0x02
#define FFS_ATTRIB_FIXED 0x04
#define FFS_ATTRIB_DATA_ALIGNMENT 0x38  // 3 bits: 1, 16, 128, 512, 1 Ki, 4 Ki, 32 Ki, 64 Ki bytes
#define FFS_ATTRIB_DATA_ALIGNMENT_SHIFT 3
#define FFS_ATTRIB_CHECKSUM 0x40

// The file's data checksum when FFS_ATTRIB_CHECKSUM is clear.
#define FFS_FIXED_CHECKSUM 0xAA

// State bits, in the sense they have with an erase polarity of 0 (inverted in a volume erased to ones).
typedef UINT8 EFI_FFS_FILE_STATE;
#define EFI_FILE_HEADER_CONSTRUCTION 0x01
#define EFI_FILE_HEADER_VALID 0x02
#define EFI_FILE_DATA_VALID 0x04
#define EFI_FILE_MARKED_FOR_UPDATE 0x08
#define EFI_FILE_DELETED 0x10
#define EFI_FILE_HEADER_INVALID 0x20

// Files sit on 8-byte boundaries of the volume.
#define EFI_FFS_FILE_ALIGNMENT 8

// The 24-byte header. IntegrityCheck.Header makes the header's bytes sum to zero, counted with State and the
// file checksum as zero; IntegrityCheck.File makes the data's bytes sum to zero (or is FFS_FIXED_CHECKSUM).
// Size is 24 bits and counts the header.
struct EFI_FFS_FILE_HEADER {
  EFI_GUID Name;
  UINT8 HeaderChecksum;
  UINT8 FileChecksum;
  EFI_FV_FILETYPE Type;
  EFI_FFS_FILE_ATTRIBUTES Attributes;
  UINT8 Size[3];
  EFI_FFS_FILE_STATE State;
};
static_assert(sizeof(EFI_FFS_FILE_HEADER) == 24, "FFS file header");
static_assert(__builtin_offsetof(EFI_FFS_FILE_HEADER, HeaderChecksum) == 16 &&
                  __builtin_offsetof(EFI_FFS_FILE_HEADER, FileChecksum) == 17 &&
                  __builtin_offsetof(EFI_FFS_FILE_HEADER, Type) == 18 &&
                  __builtin_offsetof(EFI_FFS_FILE_HEADER, Attributes) == 19 &&
                  __builtin_offsetof(EFI_FFS_FILE_HEADER, Size) == 20 &&
                  __builtin_offsetof(EFI_FFS_FILE_HEADER, State) == 23,
              "FFS file header fields at their published offsets");
