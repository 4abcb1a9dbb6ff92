// Host form of the hardware primitives: every access goes to the active simulated bus.
#include <cstdio>
#include <cstdlib>

#include "hw/mmio.h"
#include "sim/common/mmio_bus.h"

namespace {

sim::MmioBus& Bus() {
  sim::MmioBus* bus = sim::ActiveMmioBus();
  if (bus == nullptr) {
    std::fprintf(stderr, "simulator: module code touched hardware with no simulated bus active\n");
    std::abort();
  }
  return *bus;
}

}  // namespace

extern "C" {
UINT8 MmioRead8(UINTN Address) { return static_cast<UINT8>(Bus().Read(Address, 1)); }
UINT16 MmioRead16(UINTN Address) { return static_cast<UINT16>(Bus().Read(Address, 2)); }
UINT32 MmioRead32(UINTN Address) { return static_cast<UINT32>(Bus().Read(Address, 4)); }
UINT64 MmioRead64(UINTN Address) { return Bus().Read(Address, 8); }
void MmioWrite8(UINTN Address, UINT8 Value) { Bus().Write(Address, 1, Value); }
void MmioWrite16(UINTN Address, UINT16 Value) { Bus().Write(Address, 2, Value); }
void MmioWrite32(UINTN Address, UINT32 Value) { Bus().Write(Address, 4, Value); }
void MmioWrite64(UINTN Address, UINT64 Value) { Bus().Write(Address, 8, Value); }
UINTN ReadIdtBase(void) { return sim::HostIdtBase(); }
}
