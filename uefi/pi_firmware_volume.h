// PI firmware volume header and block map, written from the published layout.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"

// The file system of a volume holding FFS files (sizes up to 16 MiB, no large files).
#define EFI_FIRMWARE_FILE_SYSTEM2_GUID                                             \
  {                                                                                \
    0x8C8CE578, 0x8A3D, 0x4F1C, { 0x99, 0x35, 0x89, 0x61, 0x85, 0xC3, 0x2D, 0xD3 } \
  }
// The same with large files allowed.
#define EFI_FIRMWARE_FILE_SYSTEM3_GUID                                             \
  {                                                                                \
    0x5473C07A, 0x3DCB, 0x4DCA, { 0xBD, 0x6F, 0x1E, 0x96, 0x89, 0xE7, 0x34, 0x9A } \
  }

#define EFI_FVH_SIGNATURE 0x4856465Fu  // "_FVH"
#define EFI_FVH_REVISION 0x02

// EFI_FVB_ATTRIBUTES_2 bits.
#define EFI_FVB2_READ_DISABLED_CAP 0x00000001u
#define EFI_FVB2_READ_ENABLED_CAP 0x00000002u
#define EFI_FVB2_READ_STATUS 0x00000004u
#define EFI_FVB2_WRITE_DISABLED_CAP 0x00000008u
#define EFI_FVB2_WRITE_ENABLED_CAP 0x00000010u
#define EFI_FVB2_WRITE_STATUS 0x00000020u
#define EFI_FVB2_LOCK_CAP 0x00000040u
#define EFI_FVB2_LOCK_STATUS 0x00000080u
#define EFI_FVB2_STICKY_WRITE 0x00000200u
#define EFI_FVB2_MEMORY_MAPPED 0x00000400u
#define EFI_FVB2_ERASE_POLARITY 0x00000800u
#define EFI_FVB2_READ_LOCK_CAP 0x00001000u
#define EFI_FVB2_READ_LOCK_STATUS 0x00002000u
#define EFI_FVB2_WRITE_LOCK_CAP 0x00004000u
#define EFI_FVB2_WRITE_LOCK_STATUS 0x00008000u
#define EFI_FVB2_ALIGNMENT 0x001F0000u  // log2 of the volume's alignment
#define EFI_FVB2_ALIGNMENT_SHIFT 16
#define EFI_FVB2_WEAK_ALIGNMENT 0x80000000u

struct EFI_FV_BLOCK_MAP_ENTRY {
  UINT32 NumBlocks;
  UINT32 Length;
};

// The header proper; the block map follows, ended by an entry of zeros. HeaderLength covers both, and the
// 16-bit words of the whole header sum to zero.
struct EFI_FIRMWARE_VOLUME_HEADER {
  UINT8 ZeroVector[16];
  EFI_GUID FileSystemGuid;
  UINT64 FvLength;
  UINT32 Signature;
  UINT32 Attributes;
  UINT16 HeaderLength;
  UINT16 Checksum;
  UINT16 ExtHeaderOffset;
  UINT8 Reserved[1];
  UINT8 Revision;
};
static_assert(sizeof(EFI_FIRMWARE_VOLUME_HEADER) == 56, "firmware volume header without its block map");
static_assert(sizeof(EFI_FV_BLOCK_MAP_ENTRY) == 8, "block map entry");
static_assert(__builtin_offsetof(EFI_FIRMWARE_VOLUME_HEADER, FileSystemGuid) == 16 &&
                  __builtin_offsetof(EFI_FIRMWARE_VOLUME_HEADER, FvLength) == 32 &&
                  __builtin_offsetof(EFI_FIRMWARE_VOLUME_HEADER, Signature) == 40 &&
                  __builtin_offsetof(EFI_FIRMWARE_VOLUME_HEADER, Attributes) == 44 &&
                  __builtin_offsetof(EFI_FIRMWARE_VOLUME_HEADER, HeaderLength) == 48 &&
                  __builtin_offsetof(EFI_FIRMWARE_VOLUME_HEADER, Checksum) == 50 &&
                  __builtin_offsetof(EFI_FIRMWARE_VOLUME_HEADER, ExtHeaderOffset) == 52 &&
                  __builtin_offsetof(EFI_FIRMWARE_VOLUME_HEADER, Revision) == 55,
              "volume header fields at their published offsets");
