// The SyS-T decoder on hand-written channel writes: framing, fields, and malformed input.
#include <gtest/gtest.h>

#include "sim/pei/syst_decoder.h"

namespace {

using Role = sim::SystChannelWrite::Role;
using W = sim::SystChannelWrite;

std::vector<W> Message(uint32_t header, std::vector<W> data) {
  std::vector<W> out = {{Role::FirstWord, 4, header}};
  out.insert(out.end(), data.begin(), data.end());
  out.push_back({Role::EndMark, 4, 0});
  return out;
}

TEST(SystDecoder, ChannelWritesKeepOnlyTheChannelsWritesByRole) {
  std::vector<sim::MmioAccess> accesses = {{0xFE200390u, 4, 1, true}, {0xFE200380u, 4, 2, false},
                                           {0xFE2003C0u, 4, 3, true}, {0xFE200380u, 2, 4, true},
                                           {0xFE2003B0u, 4, 0, true}, {0xFE200398u, 4, 5, true}};
  auto writes = sim::ChannelWrites(accesses, 0xFE200380u);
  ASSERT_EQ(writes.size(), 4u);
  EXPECT_EQ(writes[0].role, Role::FirstWord);
  EXPECT_EQ(writes[1].role, Role::Data);
  EXPECT_EQ(writes[1].width, 2u);
  EXPECT_EQ(writes[2].role, Role::EndMark);
  EXPECT_EQ(writes[3].role, Role::AlternateFirstWord);
}

TEST(SystDecoder, MessageWithoutGuidOrLengthTakesTheRestAsPayload) {
  auto m = sim::DecodeSystMessages(Message(0x01000012u, {{Role::Data, 4, 0x00216948u}}));
  ASSERT_EQ(m.size(), 1u);
  EXPECT_FALSE(m[0].has_guid);
  EXPECT_EQ(m[0].severity, 1u);
  EXPECT_EQ(m[0].Text(), "Hi!");
  EXPECT_TRUE(m[0].errors.empty());
}

TEST(SystDecoder, ALengthBeyondTheDataIsReported) {
  auto m = sim::DecodeSystMessages(Message(0x01000202u, {{Role::Data, 2, 9}, {Role::Data, 4, 0x41414141u}}));
  ASSERT_EQ(m.size(), 1u);
  ASSERT_FALSE(m[0].errors.empty());
  EXPECT_NE(m[0].errors[0].find("payload"), std::string::npos);
}

TEST(SystDecoder, BytesAfterAGivenLengthAreReported) {
  auto m = sim::DecodeSystMessages(Message(0x01000202u, {{Role::Data, 2, 1}, {Role::Data, 2, 0x4141}}));
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].Text(), "A");
  ASSERT_EQ(m[0].errors.size(), 1u);
}

TEST(SystDecoder, ACorruptedCrcIsReported) {
  // "123456789" with the checksum bit and the header 0x01000402 folded in; first find the right CRC.
  auto probe = sim::DecodeSystMessage(0x01000402u, {'1', '2', '3', '4', '5', '6', '7', '8', '9', 0, 0, 0, 0});
  ASSERT_TRUE(probe.crc.has_value());
  EXPECT_FALSE(probe.crc_ok);
  EXPECT_EQ(probe.payload.size(), 9u);
  EXPECT_EQ(probe.errors.size(), 1u);
}

TEST(SystDecoder, WritesOutsideAMessageAndAMissingEndMarkAreReported) {
  std::vector<W> writes = {{Role::Data, 4, 1}, {Role::FirstWord, 4, 0x01000002u}, {Role::Data, 4, 0x41u}};
  auto m = sim::DecodeSystMessages(writes);
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].Text(), "A");
  ASSERT_FALSE(m[0].errors.empty());
  EXPECT_EQ(m[0].errors.back(), "no end mark");
  ASSERT_EQ(m[1].errors.size(), 1u);
  EXPECT_NE(m[1].errors[0].find("outside a message"), std::string::npos);
}

TEST(SystDecoder, AMessageCutShortInsideTheGuidIsReported) {
  auto m = sim::DecodeSystMessages(Message(0x01800002u, {{Role::Data, 4, 0x23A3E7BAu}}));
  ASSERT_EQ(m.size(), 1u);
  ASSERT_EQ(m[0].errors.size(), 1u);
  EXPECT_NE(m[0].errors[0].find("origin GUID"), std::string::npos);
}

}  // namespace
