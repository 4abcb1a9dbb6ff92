// Host form of the hardware primitives: every access goes to the bus of the attached platform context; with
// none attached, the access is reported as a violation and a read answers all ones.
#include <string>

#include "hw/mmio.h"
#include "sim/common/hex_text.h"
#include "sim/common/platform_context.h"

namespace {

std::string Stray(const char* what, unsigned width, uint64_t address) {
  return std::string("MMIO ") + what + " of " + std::to_string(width) + " bytes at " + sim::Hex(address);
}

uint64_t Read(uint64_t address, unsigned width) {
  sim::PlatformContext& context = sim::CurrentPlatform();
  if (sim::IsUnattached(context)) {
    sim::ReportToCurrentPlatform(Stray("read", width, address));
    return sim::AllOnes(width);
  }
  return context.bus().Read(address, width);
}

void Write(uint64_t address, unsigned width, uint64_t value) {
  sim::PlatformContext& context = sim::CurrentPlatform();
  if (sim::IsUnattached(context)) {
    sim::ReportToCurrentPlatform(Stray("write", width, address));
    return;
  }
  context.bus().Write(address, width, value);
}

}  // namespace

extern "C" {
UINT8 MmioRead8(UINTN Address) { return static_cast<UINT8>(Read(Address, 1)); }
UINT16 MmioRead16(UINTN Address) { return static_cast<UINT16>(Read(Address, 2)); }
UINT32 MmioRead32(UINTN Address) { return static_cast<UINT32>(Read(Address, 4)); }
UINT64 MmioRead64(UINTN Address) { return Read(Address, 8); }
void MmioWrite8(UINTN Address, UINT8 Value) { Write(Address, 1, Value); }
void MmioWrite16(UINTN Address, UINT16 Value) { Write(Address, 2, Value); }
void MmioWrite32(UINTN Address, UINT32 Value) { Write(Address, 4, Value); }
void MmioWrite64(UINTN Address, UINT64 Value) { Write(Address, 8, Value); }

UINTN ReadIdtBase(void) {
  sim::PlatformContext& context = sim::CurrentPlatform();
  if (sim::IsUnattached(context)) {
    sim::ReportToCurrentPlatform("ReadIdtBase called");
    return 0;
  }
  return static_cast<UINTN>(context.idt_base());
}
}
