// Builds a power supply's FRU image (IPMI FRU information storage layout) from its text fields and capacity,
// with every checksum computed, so board files need not hand-compute them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct PowerSupplyFruFields {
  std::string manufacturer;
  std::string product;
  std::string part;
  std::string version;
  std::string serial;
  std::string asset_tag;
  uint16_t capacity_watts = 0;  // overall capacity, 12 bits
};

// Which checksums to spoil on purpose (to model a supply whose FRU data is damaged).
enum class FruChecksumBreak { None, ProductArea, MultiRecord, Both };

constexpr size_t kPowerSupplyFruSize = 128;
constexpr size_t kFruFieldMaxLength = 31;

// Layout: common header at 0, internal-use area at 8, Product Info Area at 24 (64 bytes: Manufacturer,
// Product Name, Part/Model Number, Product Version, Serial Number, Asset Tag, FRU File ID, end marker),
// Power Supply Information MultiRecord at 88 (header 88..92, data 93..116). Empty fields get type/length 0xC0.
// Returns an empty string and fills `image` (128 bytes), or says which field is wrong and how to fix it.
std::string BuildPowerSupplyFru(const PowerSupplyFruFields& fields, FruChecksumBreak spoil,
                                std::vector<uint8_t>* image);

}  // namespace sim
