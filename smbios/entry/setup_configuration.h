// Loads the ten setup variables into the driver's configuration image.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"

EFI_STATUS LoadSetupConfiguration(UINT8 *Destination);  // Destination holds SetupConfigurationSize bytes

// One setup variable: its vendor GUID, UCS-2 name and the size its part of the image has.
struct SetupVariableEntry {
  const EFI_GUID *VendorGuid;  // null ends the table
  const CHAR16 *Name;
  UINTN ExpectedSize;
};

// The ten variables in image order, then the ending entry.
extern const SetupVariableEntry SetupVariableTable[];
