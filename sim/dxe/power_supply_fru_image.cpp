// Builds a power supply's FRU image from its text fields and capacity, with every checksum computed.
#include "sim/dxe/power_supply_fru_image.h"

#include <utility>

namespace sim {
namespace {

constexpr size_t kInternalUseArea = 8;
constexpr size_t kProductArea = 24;
constexpr size_t kProductAreaLength = 64;
constexpr size_t kMultiRecord = 88;
constexpr size_t kMultiRecordData = 93;
constexpr size_t kMultiRecordDataLength = 24;
constexpr uint8_t kPowerSupplyRecordType = 0x00;
constexpr uint8_t kEndOfListFormat2 = 0x82;  // end of list, record format version 2
constexpr uint8_t kEmptyField = 0xC0;
constexpr uint8_t kEndOfFields = 0xC1;

uint8_t ZeroSumChecksum(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
  uint8_t sum = 0;
  for (size_t i = from; i < from + count; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
  return static_cast<uint8_t>(-sum);
}

void PutU16(std::vector<uint8_t>& image, size_t at, uint16_t value) {
  image[at] = static_cast<uint8_t>(value);
  image[at + 1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace

std::string BuildPowerSupplyFru(const PowerSupplyFruFields& fields, FruChecksumBreak spoil,
                                std::vector<uint8_t>* image) {
  const std::pair<const char*, const std::string*> texts[] = {
      {"manufacturer", &fields.manufacturer}, {"product", &fields.product}, {"part", &fields.part},
      {"version", &fields.version},           {"serial", &fields.serial},   {"asset_tag", &fields.asset_tag},
  };
  size_t needed = 3 + 1 + 1 + 1;  // version, length, language; FRU file ID; end marker; checksum
  for (const auto& [name, text] : texts) {
    if (text->size() == 1) {
      return std::string("field ") + name +
             ": a one-character field cannot be encoded (type/length 0xC1 marks the "
             "end of the fields; use an empty value or two or more characters)";
    }
    if (text->size() > kFruFieldMaxLength) {
      return std::string("field ") + name + ": " + std::to_string(text->size()) +
             " characters (at most 31 fit a "
             "type/length byte; shorten it)";
    }
    for (char c : *text) {
      if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) {
        return std::string("field ") + name +
               ": holds a byte outside printable ASCII (use printable ASCII, or give "
               "the image as bytes)";
      }
    }
    needed += 1 + text->size();
  }
  if (needed > kProductAreaLength) {
    return "fields manufacturer..asset_tag: " + std::to_string(needed) +
           " bytes with their type/length bytes, more "
           "than the 64-byte Product Info Area holds (shorten them by " +
           std::to_string(needed - kProductAreaLength) + ")";
  }
  if (fields.capacity_watts > 0x0FFF) {
    return "field capacity: " + std::to_string(fields.capacity_watts) +
           " W does not fit the 12-bit overall capacity "
           "(at most 4095)";
  }

  std::vector<uint8_t> out(kPowerSupplyFruSize, 0);
  // Common header: format 1, internal-use area, product area and MultiRecord offsets in 8-byte units.
  out[0] = 0x01;
  out[1] = kInternalUseArea / 8;
  out[4] = kProductArea / 8;
  out[5] = kMultiRecord / 8;
  out[7] = ZeroSumChecksum(out, 0, 7);
  out[kInternalUseArea] = 0x01;

  size_t at = kProductArea;
  out[at++] = 0x01;                    // format version
  out[at++] = kProductAreaLength / 8;  // area length
  out[at++] = 0x00;                    // language: English
  for (const auto& [name, text] : texts) {
    out[at++] = text->empty() ? kEmptyField : static_cast<uint8_t>(0xC0 | text->size());
    for (char c : *text) out[at++] = static_cast<uint8_t>(c);
  }
  out[at++] = kEmptyField;  // FRU file ID
  out[at++] = kEndOfFields;
  out[kProductArea + kProductAreaLength - 1] = ZeroSumChecksum(out, kProductArea, kProductAreaLength - 1);

  // Power Supply Information record: capacity, then typical values for an auto-ranging supply.
  size_t data = kMultiRecordData;
  PutU16(out, data + 0, fields.capacity_watts);  // overall capacity (W)
  PutU16(out, data + 2, 0xFFFF);                 // peak VA: not specified
  out[data + 4] = 40;                            // inrush current (A)
  out[data + 5] = 5;                             // inrush interval (ms)
  PutU16(out, data + 6, 9000);                   // input range 1: 90 V ..
  PutU16(out, data + 8, 14000);                  // .. 140 V (10 mV units)
  PutU16(out, data + 10, 18000);                 // input range 2: 180 V ..
  PutU16(out, data + 12, 26400);                 // .. 264 V
  out[data + 14] = 47;                           // frequency 47 ..
  out[data + 15] = 63;                           // .. 63 Hz
  out[data + 16] = 20;                           // AC dropout tolerance (ms)
  out[data + 17] = 0x1C;                         // flags: hot-swap, auto-switch, power factor correction
  PutU16(out, data + 18, 0);                     // peak wattage
  out[kMultiRecord + 0] = kPowerSupplyRecordType;
  out[kMultiRecord + 1] = kEndOfListFormat2;
  out[kMultiRecord + 2] = kMultiRecordDataLength;
  out[kMultiRecord + 3] = ZeroSumChecksum(out, kMultiRecordData, kMultiRecordDataLength);
  out[kMultiRecord + 4] = ZeroSumChecksum(out, kMultiRecord, 4);

  if (spoil == FruChecksumBreak::ProductArea || spoil == FruChecksumBreak::Both) {
    out[kProductArea + kProductAreaLength - 1] ^= 0xFF;
  }
  if (spoil == FruChecksumBreak::MultiRecord || spoil == FruChecksumBreak::Both) out[kMultiRecord + 3] ^= 0xFF;
  *image = std::move(out);
  return "";
}

}  // namespace sim
