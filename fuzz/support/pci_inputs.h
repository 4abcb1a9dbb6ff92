// Fuzzed PCI functions for the DXE harnesses: root ports, bridges and endpoints at the places the driver
// looks (slot root ports, their secondary buses, the chipset root ports, the onboard LAN) or anywhere, with any
// IDs and classes, VPD capabilities with any image, delay or none at all, and raw bytes poked over the rendered
// configuration space, a network controller's 64-bit memory BAR with fuzzed register contents, and functions
// that have gone since enumeration (every read all ones).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/support/fuzz_input.h"
#include "sim/pci/pci_function_spec.h"
#include "sim/pci/pci_spec_builders.h"
#include "sim/pci/vpd_image.h"

namespace fuzz {

// Network controllers' BARs: one 2 MiB window each (the port registers lie at 0x1E4440), from here up.
constexpr uint64_t kBarBase = 0xC0000000;
constexpr uint64_t kBarSize = 0x200000;

// Stack buses of socket 0 in the pci_devices harness's layout (the default board's stack 3 is on 0x4A);
// secondaries below them.
constexpr uint8_t kStack1 = 0x16, kStack2 = 0x30, kStack3 = 0x40, kBoardStack3 = 0x4A;
inline const sim::PciLocation kLocations[] = {
    {0, kStack1, 0, 0}, {0, kStack1, 2, 0}, {0, kStack2, 0, 0},      {0, kStack2, 2, 0},
    {0, kStack3, 3, 0}, {0, 0, 0x1C, 4},    {0, 0, 0x1C, 5},         {0, 0x17, 0, 0},
    {0, 0x18, 0, 0},    {0, 0x31, 0, 0},    {0, 0x41, 0, 0},         {0, 0x41, 0, 1},
    {0, 0x50, 0, 0},    {0, 0x51, 0, 0},    {0, kBoardStack3, 3, 0}, {0, 0x4B, 0, 0},
};
inline const uint8_t kSecondaries[] = {0x17, 0x18, 0x31, 0x41, 0x50, 0x51, 0x4B};

// What the generated functions hold that a harness must know about.
struct FunctionInputs {
  bool poked = false;  // raw bytes were written over a configuration space
  uint64_t bars = 0;   // memory BARs handed out
};

inline sim::PciLocation Location(FuzzInput& in) {
  uint8_t pick = in.U8();
  if (pick < 0xF0) return kLocations[pick % (sizeof kLocations / sizeof kLocations[0])];
  return {0, in.U8(), static_cast<uint8_t>(in.U8() & 0x1F), static_cast<uint8_t>(in.U8() & 7)};
}

inline std::vector<uint8_t> VpdImage(FuzzInput& in) {
  if (in.Bit()) return in.Sized16(1200);
  sim::VpdImageSpec spec;
  if (in.Bit()) {
    auto id = in.Sized(80);
    spec.identifier = std::string(id.begin(), id.end());
  }
  const char* names[] = {"PN", "SN", "V2", "VB", "YA", "EC", "MN", "V1"};
  for (size_t n = in.U8() % 4; n > 0; --n) spec.read_only.push_back({names[in.U8() % 8], in.Sized(60)});
  for (size_t n = in.U8() % 4; n > 0; --n) spec.writable.push_back({names[in.U8() % 8], in.Sized(60)});
  spec.end_tag = in.U8() != 0xFF;
  return sim::EncodeVpdImage(spec);
}

inline sim::PciFunctionSpec Function(FuzzInput& in, FunctionInputs* made) {
  sim::PciLocation at = Location(in);
  uint8_t kind = in.U8() % 4;
  sim::PciFunctionSpec spec;
  if (kind == 0) {
    uint8_t secondary = kSecondaries[in.U8() % sizeof kSecondaries];
    spec = sim::RootPortSpec(at, secondary, static_cast<uint8_t>(secondary + in.U8() % 3), in.Bit());
  } else if (kind == 1) {
    uint8_t secondary = kSecondaries[in.U8() % sizeof kSecondaries];
    spec = sim::BridgeSpec(at, secondary, secondary);
  } else {
    const uint32_t classes[] = {0x020000, 0x030000, 0x010802, 0x120000, 0x020800};
    uint16_t vendor = in.Bit() ? 0x7A3B : in.U16();
    uint16_t device = in.U16();
    uint8_t class_pick = in.U8();
    uint32_t class_code = class_pick < 0xF0 ? classes[class_pick % 5] : in.U32() & 0xFFFFFF;
    uint16_t subsystem_vendor = in.Bit() ? 0x1E6D : in.U16();
    spec = sim::EndpointSpec(at, vendor, device, class_code, subsystem_vendor, in.U16());
    if (in.Bit()) sim::WithVpd(spec, VpdImage(in), in.U8() * 10ull, in.U8() == 0xFF);
    if ((class_code >> 8) == 0x0200 && in.Bit()) {
      // The MAC address registers (port, low and high receive address) hold fuzzed bytes.
      const uint64_t registers[] = {0x1E4440, 0x1E44C0, 0x40, 0x44, 0x5400, 0x5404};
      sim::MemoryBarSpec bar;
      bar.address = kBarBase + made->bars++ * kBarSize;
      bar.size = kBarSize;
      for (size_t n = in.U8() % 4; n > 0; --n) bar.contents.push_back({registers[in.U8() % 6], in.Sized(8)});
      spec.memory_bar = bar;
    }
  }
  for (size_t n = in.U8() % 4; n > 0; --n) {
    // Any bytes anywhere but the BAR pair: an address there would send the driver's reads to no device.
    uint16_t offset = in.U16() % 4096;
    std::vector<uint8_t> bytes = in.Sized(8);
    if (offset + bytes.size() > 0x10 && offset < 0x18) continue;
    if (offset + bytes.size() > 4096) bytes.resize(4096 - offset);
    spec.pokes.push_back({offset, bytes});
    made->poked = true;
  }
  spec.reads_all_ones = in.U8() == 0xFF;  // gone since enumeration
  return spec;
}

}  // namespace fuzz
