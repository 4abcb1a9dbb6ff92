// PCI VPD resource format: building an image from a description (identifier string, VPD-R with its "RV"
// checksum, VPD-W, end tag) and decoding any bytes back into resources and keywords.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sim {

constexpr uint8_t kVpdTagIdentifier = 0x82;
constexpr uint8_t kVpdTagReadOnly = 0x90;
constexpr uint8_t kVpdTagWritable = 0x91;
constexpr uint8_t kVpdTagEnd = 0x78;

struct VpdKeyword {
  std::string name;  // two characters
  std::vector<uint8_t> data;
};

struct VpdImageSpec {
  std::optional<std::string> identifier;
  std::vector<VpdKeyword> read_only;  // an "RV" checksum keyword is appended when there are any
  std::vector<VpdKeyword> writable;
  bool end_tag = true;
};

// Throws std::invalid_argument (the message names the keyword) for a keyword name that is not two
// characters, keyword data over 255 bytes or a resource over 65535 bytes.
std::vector<uint8_t> EncodeVpdImage(const VpdImageSpec& spec);

struct DecodedVpdResource {
  uint8_t tag = 0;
  size_t offset = 0;                 // of the tag byte
  size_t declared_length = 0;        // from the resource header
  size_t available = 0;              // data bytes present in the image (less than declared when cut short)
  std::string identifier;            // 0x82
  std::vector<VpdKeyword> keywords;  // 0x90, 0x91 (a keyword cut short keeps the bytes present)
  bool keywords_cut = false;         // the last keyword runs past its resource or the image
  std::optional<bool> checksum_ok;   // "RV" in VPD-R: bytes from 0 through its first data byte sum to 0
};

struct DecodedVpd {
  std::vector<DecodedVpdResource> resources;
  bool end_tag = false;
  std::string stop;  // why decoding stopped before an end tag ("" after the end tag)
};

// Never reads past the span; stops at the end tag, at an unknown small resource, or where bytes run out.
DecodedVpd DecodeVpdImage(std::span<const uint8_t> image);
// "Identifier String", "VPD-R", "VPD-W", "End" or "tag 0xNN".
std::string VpdTagName(uint8_t tag);

}  // namespace sim
