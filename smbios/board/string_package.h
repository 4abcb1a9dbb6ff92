// The driver's English string package, as a package blob (u32 length, then the package).
#pragma once
#include "uefi/base_types.h"

extern const UINT8 DriverStringPackageBlob[];
