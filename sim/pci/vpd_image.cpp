// Building and decoding PCI VPD images.
#include "sim/pci/vpd_image.h"

#include <cstdio>
#include <stdexcept>

namespace sim {

namespace {

void PutLarge(std::vector<uint8_t>& out, uint8_t tag, const std::vector<uint8_t>& data, const char* what) {
  if (data.size() > 0xFFFF) throw std::invalid_argument(std::string(what) + " resource is over 65535 bytes");
  out.push_back(tag);
  out.push_back(static_cast<uint8_t>(data.size()));
  out.push_back(static_cast<uint8_t>(data.size() >> 8));
  out.insert(out.end(), data.begin(), data.end());
}

void PutKeyword(std::vector<uint8_t>& body, const VpdKeyword& k) {
  if (k.name.size() != 2) throw std::invalid_argument("VPD keyword \"" + k.name + "\" is not two characters");
  if (k.data.size() > 255) throw std::invalid_argument("VPD keyword " + k.name + " has over 255 data bytes");
  body.push_back(static_cast<uint8_t>(k.name[0]));
  body.push_back(static_cast<uint8_t>(k.name[1]));
  body.push_back(static_cast<uint8_t>(k.data.size()));
  body.insert(body.end(), k.data.begin(), k.data.end());
}

void DecodeKeywords(std::span<const uint8_t> image, DecodedVpdResource& r) {
  size_t at = r.offset + 3;
  size_t end = at + r.available;
  while (at < end) {
    if (end - at < 3) {
      r.keywords_cut = true;
      return;
    }
    VpdKeyword k;
    k.name = std::string{static_cast<char>(image[at]), static_cast<char>(image[at + 1])};
    size_t length = image[at + 2];
    size_t present = std::min(length, end - at - 3);
    k.data.assign(image.begin() + static_cast<std::ptrdiff_t>(at + 3),
                  image.begin() + static_cast<std::ptrdiff_t>(at + 3 + present));
    if (r.tag == kVpdTagReadOnly && k.name == "RV" && present >= 1) {
      uint8_t sum = 0;
      for (size_t i = 0; i <= at + 3; ++i) sum = static_cast<uint8_t>(sum + image[i]);
      r.checksum_ok = sum == 0;
    }
    r.keywords.push_back(std::move(k));
    if (present < length) {
      r.keywords_cut = true;
      return;
    }
    at += 3 + length;
  }
}

}  // namespace

std::vector<uint8_t> EncodeVpdImage(const VpdImageSpec& spec) {
  std::vector<uint8_t> out;
  if (spec.identifier)
    PutLarge(out, kVpdTagIdentifier, std::vector<uint8_t>(spec.identifier->begin(), spec.identifier->end()),
             "identifier string");
  if (!spec.read_only.empty()) {
    std::vector<uint8_t> body;
    for (const auto& k : spec.read_only) PutKeyword(body, k);
    body.insert(body.end(), {'R', 'V', 1, 0});
    PutLarge(out, kVpdTagReadOnly, body, "VPD-R");
    uint8_t sum = 0;
    for (size_t i = 0; i + 1 < out.size(); ++i) sum = static_cast<uint8_t>(sum + out[i]);
    out.back() = static_cast<uint8_t>(0x100 - sum);
  }
  if (!spec.writable.empty()) {
    std::vector<uint8_t> body;
    for (const auto& k : spec.writable) PutKeyword(body, k);
    PutLarge(out, kVpdTagWritable, body, "VPD-W");
  }
  if (spec.end_tag) out.push_back(kVpdTagEnd);
  return out;
}

std::string VpdTagName(uint8_t tag) {
  switch (tag) {
    case kVpdTagIdentifier: return "Identifier String";
    case kVpdTagReadOnly: return "VPD-R";
    case kVpdTagWritable: return "VPD-W";
    case kVpdTagEnd: return "End";
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, "tag 0x%02X", tag);
  return buf;
}

DecodedVpd DecodeVpdImage(std::span<const uint8_t> image) {
  DecodedVpd out;
  size_t at = 0;
  while (at < image.size()) {
    uint8_t tag = image[at];
    if ((tag & 0x80) == 0) {
      if ((tag & 0xF8) == kVpdTagEnd) {
        out.end_tag = true;
        return out;
      }
      char buf[64];
      std::snprintf(buf, sizeof buf, "small resource 0x%02X at offset %zu", tag, at);
      out.stop = buf;
      return out;
    }
    if (image.size() - at < 3) {
      out.stop = "large resource header cut short at offset " + std::to_string(at);
      return out;
    }
    DecodedVpdResource r;
    r.tag = tag;
    r.offset = at;
    r.declared_length = image[at + 1] | (static_cast<size_t>(image[at + 2]) << 8);
    r.available = std::min(r.declared_length, image.size() - at - 3);
    if (tag == kVpdTagIdentifier) {
      r.identifier.assign(image.begin() + static_cast<std::ptrdiff_t>(at + 3),
                          image.begin() + static_cast<std::ptrdiff_t>(at + 3 + r.available));
    } else if (tag == kVpdTagReadOnly || tag == kVpdTagWritable) {
      DecodeKeywords(image, r);
    }
    out.resources.push_back(std::move(r));
    if (out.resources.back().available < out.resources.back().declared_length) {
      out.stop = "resource at offset " + std::to_string(at) + " runs past the image";
      return out;
    }
    at += 3 + out.resources.back().declared_length;
  }
  out.stop = "no end tag";
  return out;
}

}  // namespace sim
