// Loads the ten setup variables into the driver's configuration image.
#pragma once
#include "uefi/base_types.h"

EFI_STATUS LoadSetupConfiguration(UINT8 *Destination);  // Destination holds SetupConfigurationSize bytes
