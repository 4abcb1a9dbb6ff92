// The PCD protocol and the token numbers the driver reads.
#pragma once
#include "uefi/base_types.h"
#include "uefi/protocols/pcd.h"

constexpr UINTN PcdTokenSocketBusLayout = 30;  // GetPtr and GetSize: the socket/stack bus layout
constexpr UINTN PcdTokenEcamBase = 44;         // Get64: the PCI Express configuration base
constexpr UINTN PcdTokenUuidTime = 180;        // Get32: the time value of the system UUID

// The PCD protocol, located on the first call and cached; null while it is not installed.
PCD_PROTOCOL *GetPcdProtocol(VOID);
