// Builds an HII package list from package blobs and registers it with the HII database.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"
#include "uefi/protocols/hii_database.h"

// Blobs: a u32 total length (these 4 bytes included) followed by one package. The array ends with a null.
// Returns the HII handle, or null on any failure.
EFI_HII_HANDLE RegisterPackageList(const EFI_GUID *PackageListGuid, EFI_HANDLE DriverHandle, const UINT8 *const *Blobs);
