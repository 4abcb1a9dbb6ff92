// The SyS-T decoder's input: any sequence of channel writes (role, width, value) is split into messages
// and decoded; and a message laid out by the rules (optional GUID, length and CRC) is written with
// arbitrary write widths and must decode back to what was written.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/support/fuzz_check.h"
#include "fuzz/support/fuzz_input.h"
#include "sim/pei/syst_decoder.h"
#include "trace/syst/syst_crc32.h"

namespace {

constexpr uint32_t kLengthBit = 1u << 9;
constexpr uint32_t kChecksumBit = 1u << 10;
constexpr uint32_t kGuidBit = 1u << 23;
constexpr uint32_t kLocationBit = 1u << 8;

uint64_t Masked(uint64_t value, unsigned width) { return width == 8 ? value : value & ((1ull << (8 * width)) - 1); }

void CheckArbitraryWrites(fuzz::FuzzInput& in) {
  using Role = sim::SystChannelWrite::Role;
  const Role roles[] = {Role::Data, Role::FirstWord, Role::AlternateFirstWord, Role::EndMark, Role::Other};
  std::vector<sim::SystChannelWrite> writes;
  size_t data_bytes = 0;
  size_t n = in.U8() % 64;
  for (size_t i = 0; i < n; ++i) {
    Role role = roles[in.U8() % 5];
    unsigned width = 1u << (in.U8() % 4);
    writes.push_back({role, width, Masked(in.U64(), width)});
    if (role == Role::Data) data_bytes += width;
  }
  auto messages = sim::DecodeSystMessages(writes);
  size_t counted = 0;
  size_t payload = 0;
  for (const auto& m : messages) {
    counted += m.writes;
    payload += m.payload.size();
    if (m.errors.empty()) {
      FUZZ_REQUIRE(!(m.header & kLocationBit), "a location record decodes without error");
      if (m.has_length) FUZZ_REQUIRE(m.length && *m.length == m.payload.size(), "payload length");
      if (m.has_checksum) FUZZ_REQUIRE(m.crc_ok, "checksum accepted without error");
    }
    FUZZ_REQUIRE(m.Text().size() <= m.payload.size(), "text within the payload");
  }
  FUZZ_REQUIRE(counted <= writes.size(),
               "messages claim " + std::to_string(counted) + " of " + std::to_string(writes.size()) + " writes");
  FUZZ_REQUIRE(payload <= data_bytes, "payload bytes beyond the data written");
}

void CheckRoundTrip(fuzz::FuzzInput& in) {
  uint32_t header = in.U32() & ~kLocationBit;
  std::vector<uint8_t> guid = in.Bytes(16);
  guid.resize(16, 0);
  std::vector<uint8_t> payload = in.Sized16(600);

  std::vector<uint8_t> bytes;
  if (header & kGuidBit) bytes.insert(bytes.end(), guid.begin(), guid.end());
  if (header & kLengthBit) {
    bytes.push_back(static_cast<uint8_t>(payload.size()));
    bytes.push_back(static_cast<uint8_t>(payload.size() >> 8));
  }
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  if (header & kChecksumBit) {
    uint32_t crc = SystCrc32Initial;
    for (int i = 0; i < 4; ++i) crc = SystCrc32Fold(crc, static_cast<uint8_t>(header >> (8 * i)));
    for (uint8_t b : bytes) crc = SystCrc32Fold(crc, b);
    crc = ~crc;
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(crc >> (8 * i)));
  }

  using Role = sim::SystChannelWrite::Role;
  std::vector<sim::SystChannelWrite> writes;
  writes.push_back({in.Bit() ? Role::FirstWord : Role::AlternateFirstWord, 4, header});
  for (size_t at = 0; at < bytes.size();) {
    unsigned width = 1u << (in.U8() % 4);
    while (width > bytes.size() - at) width /= 2;
    uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) value |= static_cast<uint64_t>(bytes[at + i]) << (8 * i);
    writes.push_back({Role::Data, width, value});
    at += width;
  }
  writes.push_back({Role::EndMark, 1, 0});

  auto messages = sim::DecodeSystMessages(writes);
  FUZZ_REQUIRE(messages.size() == 1, std::to_string(messages.size()) + " messages");
  const auto& m = messages[0];
  std::string errors;
  for (const auto& e : m.errors) errors += e + "; ";
  FUZZ_REQUIRE(m.errors.empty(), errors);
  FUZZ_REQUIRE(m.header == header, "header");
  FUZZ_REQUIRE(m.payload == payload, "payload");
  FUZZ_REQUIRE(m.writes == writes.size(), "write count");
  if (header & kGuidBit) FUZZ_REQUIRE(std::vector<uint8_t>(m.guid.begin(), m.guid.end()) == guid, "GUID");
  if (header & kChecksumBit) FUZZ_REQUIRE(m.crc_ok, "CRC");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzInput in(data, size);
  if (in.Bit()) {
    CheckRoundTrip(in);
  } else {
    CheckArbitraryWrites(in);
  }
  return 0;
}
