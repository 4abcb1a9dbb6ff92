// PCI configuration space as bytes: rendering a function description into its 4 KiB space (with the mask of
// writable bits) and decoding header fields and the capability list back out of bytes. No I/O here.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/pci/pci_function_spec.h"

namespace sim {

constexpr size_t kPciConfigSpaceSize = 4096;
constexpr size_t kPciCompatibleSpaceSize = 256;  // where the capability list lives
constexpr uint8_t kPciCapabilityExpress = 0x10;
constexpr uint8_t kPciCapabilityVpd = 0x03;
constexpr size_t kPciExpressCapabilitySize = 0x3C;
constexpr size_t kPciVpdCapabilitySize = 8;

// An inconsistent description. `field` is the path inside the function description ("capabilities[1].offset").
class ConfigSpaceError : public std::invalid_argument {
 public:
  ConfigSpaceError(std::string field, const std::string& problem)
      : std::invalid_argument(problem), field_(std::move(field)) {}
  const std::string& Field() const { return field_; }

 private:
  std::string field_;
};

struct ConfigSpaceImage {
  std::array<uint8_t, kPciConfigSpaceSize> bytes{};
  std::array<uint8_t, kPciConfigSpaceSize> writable{};  // per byte: the bits a write may change
  std::optional<uint8_t> vpd_capability;                // offset of the VPD capability
  std::optional<uint8_t> express_capability;            // offset of the PCI Express capability
};

// Lays out the header, the capability chain (in list order; offset 0 places a capability after the previous one)
// and the pokes. Throws ConfigSpaceError for a header type other than 0..2, a capability inside the header,
// past the 256-byte compatible space or overlapping another, a second VPD capability, or a poke past 4 KiB.
ConfigSpaceImage RenderConfigSpace(const PciFunctionSpec& spec);

// The byte offset of a header type's capability pointer (0x14 for CardBus bridges, 0x34 otherwise).
uint8_t CapabilityPointerRegister(uint8_t header_type);

struct DecodedConfigHeader {
  uint16_t vendor_id = 0;
  uint16_t device_id = 0;
  uint16_t command = 0;
  uint16_t status = 0;
  uint8_t revision = 0;
  uint32_t class_code = 0;
  uint8_t header_type = 0;  // without the multi-function bit
  bool multi_function = false;
  uint16_t subsystem_vendor_id = 0;  // type 0 at 0x2C, type 2 at 0x40; 0 for type 1
  uint16_t subsystem_id = 0;
  uint8_t primary_bus = 0;  // bridges
  uint8_t secondary_bus = 0;
  uint8_t subordinate_bus = 0;
  uint8_t capability_pointer = 0;
};
// Needs at least 64 bytes (header types 0 and 1) or 72 bytes (CardBus); fewer yields a header of zeros.
DecodedConfigHeader DecodeConfigHeader(std::span<const uint8_t> space);

struct CapabilityWalk {
  enum class End { NoList, Null, IntoHeader, AbsentId, Loop, OutOfSpace };
  struct Entry {
    uint8_t offset;
    uint8_t id;
  };
  std::vector<Entry> entries;
  End end = End::NoList;
};
// Walks the list the way hardware presents it; stops at a null pointer, a pointer into the header, an ID of
// 0xFF, a revisited offset (a loop) or a space shorter than 256 bytes.
CapabilityWalk WalkCapabilities(std::span<const uint8_t> space);
const char* ToString(CapabilityWalk::End end);

}  // namespace sim
