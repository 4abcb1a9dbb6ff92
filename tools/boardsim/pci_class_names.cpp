// Names of PCI class codes: the sub-classes a server board holds, then the base classes.
#include "tools/boardsim/pci_class_names.h"

#include <cstdio>

namespace boardsim {

namespace {

struct ClassName {
  uint16_t code;  // base class << 8 | sub-class
  const char* name;
};

constexpr ClassName kSubClasses[] = {
    {0x0100, "SCSI storage controller"},
    {0x0101, "IDE interface"},
    {0x0104, "RAID bus controller"},
    {0x0106, "SATA controller"},
    {0x0107, "Serial Attached SCSI controller"},
    {0x0108, "Non-Volatile memory controller"},
    {0x0200, "Ethernet controller"},
    {0x0207, "Infiniband controller"},
    {0x0208, "Fabric controller"},
    {0x0280, "Network controller"},
    {0x0300, "VGA compatible controller"},
    {0x0302, "3D controller"},
    {0x0600, "Host bridge"},
    {0x0601, "ISA bridge"},
    {0x0604, "PCI bridge"},
    {0x0607, "CardBus bridge"},
    {0x0680, "Bridge"},
    {0x0C03, "USB controller"},
    {0x0C05, "SMBus"},
    {0x1200, "Processing accelerators"},
};

constexpr const char* kBaseClasses[] = {
    "Unclassified device",
    "Mass storage controller",
    "Network controller",
    "Display controller",
    "Multimedia controller",
    "Memory controller",
    "Bridge",
    "Communication controller",
    "Generic system peripheral",
    "Input device controller",
    "Docking station",
    "Processor",
    "Serial bus controller",
    "Wireless controller",
    "Intelligent controller",
    "Satellite communications controller",
    "Encryption controller",
    "Signal processing controller",
    "Processing accelerators",
    "Non-Essential Instrumentation",
};

}  // namespace

std::string PciClassName(uint32_t class_code) {
  const auto code = static_cast<uint16_t>(class_code >> 8);
  for (const ClassName& entry : kSubClasses) {
    if (entry.code == code) return entry.name;
  }
  const unsigned base = code >> 8;
  if (base < sizeof kBaseClasses / sizeof kBaseClasses[0]) return kBaseClasses[base];
  char text[16];
  std::snprintf(text, sizeof text, "Class %04x", code);
  return text;
}

}  // namespace boardsim
