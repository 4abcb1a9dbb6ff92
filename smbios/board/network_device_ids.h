// PCI device IDs of vendor 0x7A3B network controllers, grouped by where each keeps its MAC address.
#pragma once
#include "uefi/base_types.h"

constexpr UINT16 NetworkControllerVendorId = 0x7A3B;

constexpr UINTN PortRegisterDeviceIdCount = 16;
constexpr UINTN ReceiveAddressDeviceIdCount = 91;
constexpr UINTN LowReceiveAddressDeviceIdCount = 35;

// MAC address in the per-port registers behind BAR 0.
extern const UINT16 PortRegisterDeviceIds[PortRegisterDeviceIdCount];
// MAC address in the first receive-address register pair; disjoint from PortRegisterDeviceIds.
extern const UINT16 ReceiveAddressDeviceIds[ReceiveAddressDeviceIdCount];
// The subset of ReceiveAddressDeviceIds whose receive-address registers sit low in the BAR (+0x40).
extern const UINT16 LowReceiveAddressDeviceIds[LowReceiveAddressDeviceIdCount];

BOOLEAN DeviceIdInList(UINT16 DeviceId, const UINT16 *List, UINTN Count);
