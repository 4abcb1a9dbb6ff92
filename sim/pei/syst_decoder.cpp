// SyS-T decoding: message framing by channel register role, then field parsing from a byte stream.
#include "sim/pei/syst_decoder.h"

#include <cstdio>

#include "sim/common/hex_text.h"

namespace sim {

namespace {

constexpr uint32_t kLengthBit = 1u << 9;
constexpr uint32_t kChecksumBit = 1u << 10;
constexpr uint32_t kGuidBit = 1u << 23;
constexpr uint32_t kLocationBit = 1u << 8;

// Bitwise reflected CRC-32 (polynomial 0xEDB88320), computed without a table.
uint32_t Crc32(const std::vector<uint8_t>& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void AppendLittleEndian(std::vector<uint8_t>& out, uint64_t value, unsigned width) {
  for (unsigned i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

SystChannelWrite::Role ChannelRole(uint64_t offset) {
  switch (offset) {
    case 0x00: return SystChannelWrite::Role::Data;
    case 0x10: return SystChannelWrite::Role::FirstWord;
    case 0x18: return SystChannelWrite::Role::AlternateFirstWord;
    case 0x30: return SystChannelWrite::Role::EndMark;
    default: return SystChannelWrite::Role::Other;
  }
}

std::vector<SystChannelWrite> ChannelWrites(const std::vector<MmioAccess>& accesses, uint64_t channel_address) {
  std::vector<SystChannelWrite> out;
  for (const auto& a : accesses) {
    if (!a.write || a.address < channel_address || a.address - channel_address >= 64) continue;
    out.push_back({ChannelRole(a.address - channel_address), a.width, a.value});
  }
  return out;
}

std::string SystDecodedMessage::Text() const {
  std::string text;
  for (uint8_t b : payload) {
    if (b == 0) break;
    text.push_back(static_cast<char>(b));
  }
  return text;
}

std::string SystDecodedMessage::GuidText() const {
  const auto& g = guid;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", g[3], g[2],
                g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
  return buf;
}

SystDecodedMessage DecodeSystMessage(uint32_t header, const std::vector<uint8_t>& bytes) {
  SystDecodedMessage m;
  m.header = header;
  m.type = header & 0xF;
  m.severity = (header >> 4) & 7;
  m.subtype = (header >> 24) & 0x3F;
  m.has_length = (header & kLengthBit) != 0;
  m.has_checksum = (header & kChecksumBit) != 0;
  m.has_guid = (header & kGuidBit) != 0;
  if (header & kLocationBit) m.errors.push_back("location record present: not decoded");

  size_t at = 0;
  auto take = [&](size_t n, const char* what) -> bool {
    if (bytes.size() - at < n) {
      m.errors.push_back(std::string("message ends inside the ") + what);
      return false;
    }
    return true;
  };
  if (m.has_guid) {
    if (!take(16, "origin GUID")) return m;
    for (size_t i = 0; i < 16; ++i) m.guid[i] = bytes[at + i];
    at += 16;
  }
  size_t crc_size = m.has_checksum ? 4 : 0;
  size_t payload_size;
  if (m.has_length) {
    if (!take(2, "length field")) return m;
    m.length = static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
    at += 2;
    payload_size = *m.length;
    if (!take(payload_size + crc_size, "payload")) return m;
    if (bytes.size() - at > payload_size + crc_size) {
      m.errors.push_back(std::to_string(bytes.size() - at - payload_size - crc_size) +
                         " bytes after the payload of the given length");
    }
  } else {
    if (!take(crc_size, "CRC")) return m;
    payload_size = bytes.size() - at - crc_size;
  }
  m.payload.assign(bytes.begin() + at, bytes.begin() + at + payload_size);
  at += payload_size;
  if (m.has_checksum) {
    uint32_t crc = 0;
    for (int i = 0; i < 4; ++i) crc |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
    m.crc = crc;
    std::vector<uint8_t> covered;
    AppendLittleEndian(covered, header, 4);
    covered.insert(covered.end(), bytes.begin(), bytes.begin() + at);
    m.crc_ok = Crc32(covered) == crc;
    if (!m.crc_ok) m.errors.push_back("CRC " + Hex(crc) + " does not match " + Hex(Crc32(covered)));
  }
  return m;
}

std::vector<SystDecodedMessage> DecodeSystMessages(const std::vector<SystChannelWrite>& writes) {
  std::vector<SystDecodedMessage> out;
  bool open = false;
  uint32_t header = 0;
  std::vector<uint8_t> bytes;
  unsigned count = 0;
  std::vector<std::string> pending;  // errors met outside a message

  auto stray = [&](const std::string& what) { pending.push_back(what); };
  for (const auto& w : writes) {
    using Role = SystChannelWrite::Role;
    switch (w.role) {
      case Role::FirstWord:
      case Role::AlternateFirstWord:
        if (open) {
          SystDecodedMessage m = DecodeSystMessage(header, bytes);
          m.writes = count;
          m.errors.push_back("no end mark before the next message");
          out.push_back(std::move(m));
        }
        if (w.width != 4) stray("first word written with " + std::to_string(w.width) + " bytes");
        open = true;
        header = static_cast<uint32_t>(w.value);
        bytes.clear();
        count = 1;
        break;
      case Role::Data:
        if (!open) {
          stray("data write of " + Hex(w.value) + " outside a message");
          break;
        }
        AppendLittleEndian(bytes, w.value, w.width);
        ++count;
        break;
      case Role::EndMark:
        if (!open) {
          stray("end mark outside a message");
          break;
        }
        {
          SystDecodedMessage m = DecodeSystMessage(header, bytes);
          m.writes = count + 1;
          m.errors.insert(m.errors.begin(), pending.begin(), pending.end());
          pending.clear();
          out.push_back(std::move(m));
        }
        open = false;
        break;
      case Role::Other: stray("write to an unused channel register"); break;
    }
  }
  if (open) {
    SystDecodedMessage m = DecodeSystMessage(header, bytes);
    m.writes = count;
    m.errors.push_back("no end mark");
    out.push_back(std::move(m));
  }
  if (!pending.empty()) {
    SystDecodedMessage m;
    m.errors = pending;
    out.push_back(std::move(m));
  }
  return out;
}

}  // namespace sim
