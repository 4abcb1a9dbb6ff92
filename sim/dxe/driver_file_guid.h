// The file name GUID of the platform SMBIOS driver in its firmware volume: ff5c5473-13a4-4657-83ed-566599b4fc24.
// The simulated loaded image carries it; the firmware-image build names the driver's file with the same value.
#pragma once
#include "uefi/guid.h"

#define PLATFORM_SMBIOS_DRIVER_FILE_GUID                                           \
  {                                                                                \
    0xFF5C5473, 0x13A4, 0x4657, { 0x83, 0xED, 0x56, 0x65, 0x99, 0xB4, 0xFC, 0x24 } \
  }
