// Protocol lookups through the boot services, with the per-user caches the driver keeps.
#pragma once
#include "uefi/base_types.h"
#include "uefi/guid.h"

// LocateProtocol with no registration key. Returns EFI_NOT_READY before the boot services are known.
EFI_STATUS LocateProtocolInterface(const EFI_GUID *Protocol, VOID **Interface);

// Fills *Cache on the first successful lookup and answers from it afterwards; a failed lookup leaves the
// cache empty, so a later call tries again. Returns the LocateProtocol status.
EFI_STATUS LocateCachedProtocol(const EFI_GUID *Protocol, VOID **Cache);

// HandleProtocol on one handle; the interface is null when the handle does not carry the protocol.
EFI_STATUS HandleProtocolInterface(EFI_HANDLE Handle, const EFI_GUID *Protocol, VOID **Interface);
