// Fills an all-zero System Information (type 1) UUID in place.
#pragma once
#include "uefi/base_types.h"

VOID FillSystemUuid(VOID);
