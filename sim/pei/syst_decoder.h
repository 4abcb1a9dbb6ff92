// Decoder of MIPI SyS-T messages from the writes one trace-hub channel received, written from the
// message layout: header word, optional origin GUID, optional 16-bit length, payload, optional CRC-32.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/common/mmio_bus.h"

namespace sim {

// One write to a channel, by register role.
struct SystChannelWrite {
  enum class Role { Data, FirstWord, AlternateFirstWord, EndMark, Other };
  Role role;
  unsigned width;
  uint64_t value;
};

// Channel register offsets: data 0x00, time-stamped first word 0x10, alternate first word 0x18, end 0x30.
SystChannelWrite::Role ChannelRole(uint64_t offset);

// The writes of recorded accesses that fall into the 64-byte channel at channel_address, in order.
std::vector<SystChannelWrite> ChannelWrites(const std::vector<MmioAccess>& accesses, uint64_t channel_address);

struct SystDecodedMessage {
  uint32_t header = 0;
  unsigned type = 0;      // bits 0-3
  unsigned severity = 0;  // bits 4-6
  unsigned subtype = 0;   // bits 24-29
  bool has_length = false;
  bool has_checksum = false;
  bool has_guid = false;
  std::array<uint8_t, 16> guid{};  // in memory (EFI_GUID) order
  std::optional<uint16_t> length;
  std::vector<uint8_t> payload;
  std::optional<uint32_t> crc;      // as sent
  bool crc_ok = false;              // the CRC matches the header and payload bytes (when sent)
  unsigned writes = 0;              // channel writes of the message, first word and end mark included
  std::vector<std::string> errors;  // what is malformed; empty for a well-formed message

  // The payload up to its first NUL.
  std::string Text() const;
  // The origin GUID in registry form (8-4-4-4-12).
  std::string GuidText() const;
};

// Splits the writes into messages (first word ... end mark) and decodes each. Writes outside a message
// and a message without end mark are reported in the errors of the message they belong to, or of an
// extra message holding only errors.
std::vector<SystDecodedMessage> DecodeSystMessages(const std::vector<SystChannelWrite>& writes);

// Decodes one message from its header word and the bytes of its data writes, in order.
SystDecodedMessage DecodeSystMessage(uint32_t header, const std::vector<uint8_t>& bytes);

}  // namespace sim
