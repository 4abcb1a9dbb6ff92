// The hardware seam: sized memory-mapped register accesses and the IDT base.
// Firmware builds link hw/mmio_firmware.cpp (plain volatile accesses, SIDT); host builds link the
// simulator's forwarding implementation, which hands every access to the simulated bus.
#pragma once
#include "uefi/base_types.h"

extern "C" {
UINT8 MmioRead8(UINTN Address);
UINT16 MmioRead16(UINTN Address);
UINT32 MmioRead32(UINTN Address);
UINT64 MmioRead64(UINTN Address);
void MmioWrite8(UINTN Address, UINT8 Value);
void MmioWrite16(UINTN Address, UINT16 Value);
void MmioWrite32(UINTN Address, UINT32 Value);
void MmioWrite64(UINTN Address, UINT64 Value);

// Base address of the interrupt descriptor table, as the SIDT instruction reports it.
UINTN ReadIdtBase(void);
}
