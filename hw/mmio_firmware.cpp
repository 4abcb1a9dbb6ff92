// Firmware form of the hardware primitives: plain volatile accesses and the SIDT instruction.
#include "hw/mmio.h"

extern "C" {
UINT8 MmioRead8(UINTN Address) { return *reinterpret_cast<volatile UINT8 *>(Address); }
UINT16 MmioRead16(UINTN Address) { return *reinterpret_cast<volatile UINT16 *>(Address); }
UINT32 MmioRead32(UINTN Address) { return *reinterpret_cast<volatile UINT32 *>(Address); }
UINT64 MmioRead64(UINTN Address) { return *reinterpret_cast<volatile UINT64 *>(Address); }
void MmioWrite8(UINTN Address, UINT8 Value) { *reinterpret_cast<volatile UINT8 *>(Address) = Value; }
void MmioWrite16(UINTN Address, UINT16 Value) { *reinterpret_cast<volatile UINT16 *>(Address) = Value; }
void MmioWrite32(UINTN Address, UINT32 Value) { *reinterpret_cast<volatile UINT32 *>(Address) = Value; }
void MmioWrite64(UINTN Address, UINT64 Value) { *reinterpret_cast<volatile UINT64 *>(Address) = Value; }

UINTN ReadIdtBase(void) {
  // SIDT stores a 16-bit limit followed by the base (32-bit on IA-32, 64-bit on x86-64).
  struct __attribute__((packed)) {
    UINT16 Limit;
    UINTN Base;
  } Idtr;
  __asm__ __volatile__("sidt %0" : "=m"(Idtr));
  return Idtr.Base;
}
}
