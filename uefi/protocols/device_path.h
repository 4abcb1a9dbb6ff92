// Device path node header and the media firmware-volume file node.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"

struct EFI_DEVICE_PATH_PROTOCOL {
  UINT8 Type;
  UINT8 SubType;
  UINT8 Length[2];
};

#define MEDIA_DEVICE_PATH 0x04
#define MEDIA_PIWG_FW_FILE_DP 0x06
#define END_DEVICE_PATH_TYPE 0x7F
#define END_ENTIRE_DEVICE_PATH_SUBTYPE 0xFF

// Firmware-volume file node: the header, then the file name GUID at offset 4 (20 bytes in all).
#pragma pack(push, 1)
struct MEDIA_FW_VOL_FILEPATH_DEVICE_PATH {
  EFI_DEVICE_PATH_PROTOCOL Header;
  EFI_GUID FvFileName;
};
#pragma pack(pop)
static_assert(sizeof(MEDIA_FW_VOL_FILEPATH_DEVICE_PATH) == 20, "firmware-volume file node is 20 bytes");
