// Decoder of SMBIOS type 40, Additional Information: its entries, the referenced handle, and the value
// blocks the driver writes ("_AST" PCI identity, "_VPD" header followed by the card's VPD image).
#include <algorithm>
#include <string>

#include "tools/boardsim/record_decoders.h"

namespace boardsim {

namespace {

using Bytes = std::vector<uint8_t>;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

bool Printable(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i] < 0x20 || p[i] > 0x7E) return false;
  return true;
}

std::string Text(const uint8_t* p, size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

// Keywords of a VPD-R or VPD-W resource: two-character name, length byte, data. In VPD-W, "VB" holds the
// slot the driver wrote: the slot ID's high byte, then the slot number.
void DecodeVpdKeywords(std::vector<DecodedField>& out, const uint8_t* p, size_t n, int depth, bool writable) {
  size_t k = 0;
  while (k + 3 <= n) {
    size_t len = p[k + 2];
    std::string name = Printable(p + k, 2) ? Text(p + k, 2) : HexBytes(p + k, 2);
    size_t avail = std::min(len, n - k - 3);
    const uint8_t* data = p + k + 3;
    std::string value = Printable(data, avail) ? "\"" + Text(data, avail) + "\"" : HexBytes(data, avail);
    if (avail < len) value += " (cut: " + std::to_string(len) + " bytes declared)";
    out.push_back({"Keyword " + name, value, depth});
    if (writable && name == "VB" && avail >= 2) {
      out.push_back(
          {"Slot", "number " + std::to_string(data[1]) + ", ID high byte " + std::to_string(data[0]), depth + 1});
    }
    k += 3 + len;
  }
}

// The VPD image in the PCI resource format: large resources 0x82, 0x90, 0x91 and the end tag 0x78.
void DecodeVpdImage(std::vector<DecodedField>& out, const uint8_t* p, size_t n, int depth) {
  size_t off = 0;
  while (off < n) {
    uint8_t tag = p[off];
    if (tag == 0x78) {
      out.push_back({"End Tag", "at " + std::to_string(off), depth});
      off += 1;
      continue;
    }
    if ((tag & 0x80) == 0 || off + 3 > n) {
      out.push_back({"Unparsed",
                     std::to_string(n - off) + " bytes from " + std::to_string(off) + ": " +
                         HexBytes(p + off, std::min<size_t>(n - off, 16)),
                     depth});
      return;
    }
    size_t len = Le16(p + off + 1);
    size_t avail = std::min(len, n - off - 3);
    const uint8_t* data = p + off + 3;
    std::string size = std::to_string(len) + " bytes" + (avail < len ? " (image cut short)" : "");
    if (tag == 0x82) {
      out.push_back({"Identifier String", "\"" + Text(data, avail) + "\"", depth});
    } else if (tag == 0x90 || tag == 0x91) {
      out.push_back({tag == 0x90 ? "VPD-R" : "VPD-W", size, depth});
      DecodeVpdKeywords(out, data, avail, depth + 1, tag == 0x91);
    } else {
      out.push_back({"Resource " + Hex8(tag), size, depth});
    }
    off += 3 + len;
  }
}

// Value blocks: signature (4), version, block length. "_VPD" counts only its header; the VPD follows it.
void DecodeValue(std::vector<DecodedField>& out, const uint8_t* p, size_t n, int depth) {
  size_t off = 0;
  while (off < n) {
    size_t rest = n - off;
    const uint8_t* b = p + off;
    if (rest >= 6 && std::all_of(b, b + 6, [](uint8_t v) { return v == 0; })) {
      out.push_back({"Empty Block", "6 zero bytes (no VPD block)", depth});
      off += 6;
      continue;
    }
    if (rest < 6 || !Printable(b, 4) || b[5] < 6 || b[5] > rest) {
      out.push_back({"Value bytes", HexBytes(b, rest), depth});
      return;
    }
    std::string signature = Text(b, 4);
    size_t length = b[5];
    out.push_back({"Block \"" + signature + "\"",
                   "version " + std::to_string(b[4]) + ", length " + std::to_string(length), depth});
    if (signature == "_AST" && length >= 17) {
      out.push_back({"Vendor ID", Hex16(Le16(b + 6)), depth + 1});
      out.push_back({"Device ID", Hex16(Le16(b + 8)), depth + 1});
      out.push_back({"Subsystem Vendor ID", Hex16(Le16(b + 10)), depth + 1});
      out.push_back({"Subsystem ID", Hex16(Le16(b + 12)), depth + 1});
      out.push_back(
          {"Class Code", Hex8(b[14]) + " " + Hex8(b[15]) + " " + Hex8(b[16]) + " (base, sub, interface)", depth + 1});
    } else if (signature == "_VPD") {
      size_t vpd = rest - length;
      out.push_back({"VPD Image", std::to_string(vpd) + " bytes", depth + 1});
      DecodeVpdImage(out, b + length, vpd, depth + 2);
      return;
    } else if (length > 6) {
      out.push_back({"Data", HexBytes(b + 6, length - 6), depth + 1});
    }
    off += length;
  }
}

}  // namespace

std::vector<DecodedField> DecodeType40(const RecordFields& r) {
  std::vector<DecodedField> out;
  auto count = r.U8(0x04);
  if (!count) return out;
  out.push_back({"Number of Entries", std::to_string(*count)});
  const Bytes& bytes = r.Bytes();
  size_t off = 0x05;
  for (unsigned i = 0; i < *count; ++i) {
    std::string entry = "Entry " + std::to_string(i + 1);
    if (!r.Has(off, 5) || bytes[off] < 5 || !r.Has(off, bytes[off])) {
      out.push_back({entry, "malformed: does not fit in the formatted area"});
      break;
    }
    size_t length = bytes[off];
    out.push_back({entry, "length " + std::to_string(length)});
    out.push_back({"Referenced Handle", Hex16(Le16(&bytes[off + 1])), 1});
    out.push_back({"Referenced Offset", Hex8(bytes[off + 3]), 1});
    AddString(out, r, off + 4, "String");
    out.back().depth = 1;
    DecodeValue(out, &bytes[off + 5], length - 5, 1);
    off += length;
  }
  return out;
}

}  // namespace boardsim
