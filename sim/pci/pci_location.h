// Where a PCI function sits: segment, bus, device, function; ordered and printable as SSSS:BB:DD.F.
#pragma once
#include <compare>
#include <cstdint>
#include <string>

namespace sim {

struct PciLocation {
  uint16_t segment = 0;
  uint8_t bus = 0;
  uint8_t device = 0;    // 0..31
  uint8_t function = 0;  // 0..7
  auto operator<=>(const PciLocation&) const = default;
};

// "0000:17:00.0"
std::string ToString(const PciLocation& location);

}  // namespace sim
