// Configuration accesses through the memory-mapped window, decoded to bus/device/function/register.
#include "sim/pci/ecam_window.h"

#include <cstdio>

namespace sim {

namespace {

PciLocation Decode(uint16_t segment, uint64_t offset) {
  return PciLocation{segment, static_cast<uint8_t>(offset >> 20), static_cast<uint8_t>((offset >> 15) & 0x1F),
                     static_cast<uint8_t>((offset >> 12) & 0x7)};
}

}  // namespace

PciFunction* EcamWindow::At(uint64_t offset) const { return bus_.Find(Decode(segment_, offset)); }

bool EcamWindow::Check(uint64_t offset, unsigned width, const char* what) {
  if ((width == 1 || width == 2 || width == 4) && offset % width == 0) return true;
  char buf[160];
  std::snprintf(buf, sizeof buf,
                "configuration %s of %u bytes at %s register 0x%03X: the window takes naturally aligned 1, 2 or "
                "4-byte accesses",
                what, width, ToString(Decode(segment_, offset)).c_str(), static_cast<unsigned>(offset & 0xFFF));
  violations_.Report(buf);
  return false;
}

uint64_t EcamWindow::Read(uint64_t offset, unsigned width) {
  if (!Check(offset, width, "read")) return ~0ull;
  const PciFunction* f = At(offset);
  if (f == nullptr) return ~0ull;
  return f->Read(static_cast<uint16_t>(offset & 0xFFF), width);
}

void EcamWindow::Write(uint64_t offset, unsigned width, uint64_t value) {
  if (!Check(offset, width, "write")) return;
  PciFunction* f = At(offset);
  if (f == nullptr) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "configuration write at %s register 0x%03X: no function there (dropped)",
                  ToString(Decode(segment_, offset)).c_str(), static_cast<unsigned>(offset & 0xFFF));
    violations_.Report(buf);
    return;
  }
  f->Write(static_cast<uint16_t>(offset & 0xFFF), width, static_cast<uint32_t>(value), violations_);
}

}  // namespace sim
