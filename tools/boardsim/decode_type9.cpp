// Decoder of SMBIOS type 9, System Slots, including the driver's slot device class in the reserved high
// nibble of Slot Characteristics 2.
#include <cstdio>

#include "tools/boardsim/record_decoders.h"

namespace boardsim {

namespace {

std::string SlotTypeName(uint8_t v) {
  switch (v) {
    case 0x01: return "Other";
    case 0x02: return "Unknown";
    case 0x06: return "PCI";
    case 0xA5: return "PCI Express";
    case 0xA6: return "PCI Express x1";
    case 0xA7: return "PCI Express x2";
    case 0xA8: return "PCI Express x4";
    case 0xA9: return "PCI Express x8";
    case 0xAA: return "PCI Express x16";
    case 0xB0: return "PCI Express Gen 2";
    case 0xB1: return "PCI Express Gen 2 x1";
    case 0xB2: return "PCI Express Gen 2 x2";
    case 0xB3: return "PCI Express Gen 2 x4";
    case 0xB4: return "PCI Express Gen 2 x8";
    case 0xB5: return "PCI Express Gen 3 x8";
    case 0xB6: return "PCI Express Gen 3 x16";
    case 0xB7: return "PCI Express Gen 3";
    case 0xB8: return "PCI Express Gen 3 x1";
    case 0xB9: return "PCI Express Gen 3 x2";
    case 0xBA: return "PCI Express Gen 3 x4";
    default: return "";
  }
}

const std::vector<const char*> kBusWidths = {nullptr,  "Other",  "Unknown", "8 bit", "16 bit",
                                             "32 bit", "64 bit", "128 bit", "1x",    "2x",
                                             "4x",     "8x",     "12x",     "16x",   "32x"};
const std::vector<const char*> kUsages = {nullptr, "Other", "Unknown", "Available", "In use", "Unavailable"};
const std::vector<const char*> kLengths = {
    nullptr, "Other", "Unknown", "Short", "Long", "2.5\" drive form factor", "3.5\" drive form factor"};
const std::vector<const char*> kCharacteristics1 = {
    "characteristics unknown", "5.0 V", "3.3 V", "shared opening", "PC Card 16", "CardBus", "Zoom Video",
    "modem ring resume"};
const std::vector<const char*> kCharacteristics2Low = {"PME signal", "hot-plug", "SMBus signal", "bifurcation"};
const std::vector<const char*> kDeviceClasses = {"none", "accelerator", "network", "storage", "board card", "fabric"};

}  // namespace

std::vector<DecodedField> DecodeType9(const RecordFields& r) {
  std::vector<DecodedField> out;
  AddString(out, r, 0x04, "Slot Designation");
  if (auto v = r.U8(0x05)) {
    std::string name = SlotTypeName(*v);
    out.push_back({"Slot Type", Hex8(*v) + " (" + (name.empty() ? "unknown value" : name) + ")"});
  }
  AddNamed(out, r, 0x06, "Slot Data Bus Width", kBusWidths);
  AddNamed(out, r, 0x07, "Current Usage", kUsages);
  AddNamed(out, r, 0x08, "Slot Length", kLengths);
  if (auto v = r.U16(0x09)) {
    out.push_back(
        {"Slot ID", Hex16(*v) + " (high " + std::to_string(*v >> 8) + ", number " + std::to_string(*v & 0xFF) + ")"});
  }
  if (auto v = r.U8(0x0B))
    out.push_back({"Slot Characteristics 1", Hex8(*v) + " (" + BitNames(*v, kCharacteristics1) + ")"});
  if (auto v = r.U8(0x0C)) {
    out.push_back({"Slot Characteristics 2", Hex8(*v) + " (" + BitNames(*v & 0x0F, kCharacteristics2Low) + ")"});
    uint8_t device_class = *v >> 4;
    std::string name = device_class < kDeviceClasses.size() ? kDeviceClasses[device_class] : "unknown value";
    out.push_back({"Slot Device Class", std::to_string(device_class) + " (" + name + ")", 1});
  }
  AddU16(out, r, 0x0D, "Segment Group Number");
  AddU8(out, r, 0x0F, "Bus Number");
  AddDeviceFunction(out, r, 0x10, "Device/Function Number");
  auto seg = r.U16(0x0D);
  auto bus = r.U8(0x0F);
  auto devfn = r.U8(0x10);
  if (seg && bus && devfn) {
    char address[32];
    std::snprintf(address, sizeof address, "%04X:%02X:%02X.%u", *seg, *bus, *devfn >> 3, *devfn & 7u);
    out.push_back({"Bus Address", std::string(address) + (*bus == 0xFF ? " (no location: bus 0xFF)" : "")});
  }
  return out;
}

}  // namespace boardsim
