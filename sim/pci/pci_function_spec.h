// The description of one simulated PCI function: identity, header, bridge buses, capabilities, VPD behaviour.
// Plain data: board files and tests fill it; RenderConfigSpace turns it into configuration-space bytes.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/pci/pci_location.h"

namespace sim {

// How the VPD capability answers reads.
struct VpdBehaviour {
  std::vector<uint8_t> image;    // VPD space from offset 0; bytes past the image read 0xFF
  uint64_t delay_us = 20;        // virtual time from the address write until the flag and data appear
  bool never_completes = false;  // the flag never sets
  // Reads that complete; every later read never sets the flag (a VPD part that stops answering part-way).
  uint64_t answered_reads = UINT64_MAX;
};

// PCI Express capability: device/port type and the Link Status register.
enum class ExpressPortType : uint8_t {
  Endpoint = 0,
  LegacyEndpoint = 1,
  RootPort = 4,
  UpstreamSwitchPort = 5,
  DownstreamSwitchPort = 6,
};

struct PciCapabilitySpec {
  enum class Kind { Express, Vpd, Other };
  Kind kind = Kind::Other;
  uint8_t offset = 0;  // 0: placed after the previous capability
  // Express
  ExpressPortType port_type = ExpressPortType::Endpoint;
  bool link_active = false;
  uint8_t link_speed = 3;  // current link speed code (1 = 2.5 GT/s ... 3 = 8 GT/s)
  uint8_t link_width = 8;  // negotiated lanes
  // Vpd
  VpdBehaviour vpd;
  // Other: the ID and the bytes after the ID/next pair
  uint8_t id = 0;
  std::vector<uint8_t> body;
};

// Raw bytes written over the rendered space (fault injection: looping lists, odd bus numbers).
struct ConfigPoke {
  uint16_t offset = 0;
  std::vector<uint8_t> bytes;
};

// Bytes placed in a memory BAR's register window.
struct BarContents {
  uint64_t offset = 0;
  std::vector<uint8_t> bytes;
};

// A 64-bit memory BAR in BAR 0 and 1 of an ordinary function, and what its register window holds (bytes not
// given read 0). The window is mapped on the platform's MMIO bus; a read next to it is a stray access.
struct MemoryBarSpec {
  uint64_t address = 0;  // aligned to the size
  uint64_t size = 0;     // a power of two, 16 bytes to 16 MiB
  std::vector<BarContents> contents;
};

// A function taken from a capture: its configuration space is exactly the captured bytes. A capture holds
// 64, 256 or 4096 bytes (a capture made without root stops at 64); reads past its end return 0, as a
// function's unimplemented registers do, so the capture's capability lists end where its bytes end.
struct CapturedConfig {
  std::vector<uint8_t> bytes;  // from offset 0, at most 4096
  VpdBehaviour vpd;            // answers the VPD capability in the bytes, if there is one (no image: all 0xFF)
};

struct PciFunctionSpec {
  PciLocation location;
  std::string name;    // for messages and listings
  std::string origin;  // "FILE:LINE" when it came from a board file
  uint16_t vendor_id = 0;
  uint16_t device_id = 0;
  uint8_t revision = 0;
  uint32_t class_code = 0;      // base class << 16 | subclass << 8 | programming interface
  uint8_t header_type = 0;      // 0 ordinary, 1 PCI-to-PCI bridge, 2 CardBus bridge (the multi-function bit is derived)
  bool multi_function = false;  // set by the bus when the device has functions other than 0
  uint16_t subsystem_vendor_id = 0;
  uint16_t subsystem_id = 0;
  // Bridges (header types 1 and 2); the primary bus is the function's own bus.
  uint8_t secondary_bus = 0;
  uint8_t subordinate_bus = 0;
  std::vector<PciCapabilitySpec> capabilities;
  std::vector<ConfigPoke> pokes;
  std::optional<MemoryBarSpec> memory_bar;  // type-0 functions only
  // Fault: the device has gone since enumeration (surprise removal, a hung link). Enumeration found it, so it
  // keeps its PCI I/O handle, but every configuration read answers all ones and writes are dropped, as after a
  // master abort.
  bool reads_all_ones = false;
  // Set for a captured function: the space is these bytes (pokes still go over them); the identity and bus
  // fields above are decoded from them, and capabilities and memory_bar stay empty.
  std::optional<CapturedConfig> captured;

  bool IsBridge() const { return (header_type & 0x7F) == 1 || (header_type & 0x7F) == 2; }
};

}  // namespace sim
