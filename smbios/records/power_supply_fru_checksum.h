// Checksums of a power-supply FRU image: the Product Info Area and the first MultiRecord's data.
#pragma once
#include "uefi/base_types.h"

// Each returns TRUE when its bytes sum to 0 modulo 256. Image holds FruImageSize bytes.
BOOLEAN FruProductAreaValid(const UINT8 *Image);
BOOLEAN FruMultiRecordValid(const UINT8 *Image);
// Both checksums hold.
BOOLEAN FruImageValid(const UINT8 *Image);
