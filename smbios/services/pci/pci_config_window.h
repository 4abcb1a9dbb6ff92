// Plain-memory access to PCI configuration space in the window at EcamBase, and the capability walk.
#pragma once
#include "uefi/base_types.h"

// Offset of register Register of bus/device/function within the window (bus bits 20-27, device 15-19,
// function 12-14).
UINTN PciConfigOffset(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Register);

UINT8 PciConfigRead8(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Register);
UINT16 PciConfigRead16(UINT8 Bus, UINT8 Device, UINT8 Function, UINT16 Register);

// Offset of the capability with the given ID in the function's capability list, or 0 when it is absent.
// Every pointer is followed (masked with 0xFC), one into the header (below 0x40) too; a match there gives 0.
// The walk stops at a null pointer, after an entry whose ID reads 0xFF (absent hardware; its next pointer
// is still read) or after PciCapabilityWalkLimit steps (a list that loops).
constexpr UINTN PciCapabilityWalkLimit = 64;
UINT8 FindCapabilityOffset(UINT8 Bus, UINT8 Device, UINT8 Function, UINT8 CapabilityId);
