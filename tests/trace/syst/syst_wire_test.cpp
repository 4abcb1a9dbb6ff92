// Encoder output on the simulated bus: the exact recorded write sequence, and the decoder's reading of it.
#include <gtest/gtest.h>

#include <memory>

#include "recording_transport.h"
#include "sim/pei/pei_platform.h"
#include "sim/pei/syst_decoder.h"
#include "trace/syst/syst_string_message.h"

namespace {

constexpr uint64_t kChannel = 0xFE200380u;  // master 32, channel 14

class WriteSink : public sim::MmioRegion {
 public:
  uint64_t Read(uint64_t, unsigned) override { return 0; }
  void Write(uint64_t, unsigned, uint64_t) override {}
};

class SystWireTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.AddDevice(0xFE200000u, 0x200000, std::make_unique<WriteSink>(), "trace window");
    platform.StartRecording();
  }
  std::vector<sim::SystDecodedMessage> Decoded() const {
    return sim::DecodeSystMessages(sim::ChannelWrites(platform.Recorded(), kChannel));
  }
  sim::PeiPlatform platform;
};

TEST_F(SystWireTest, RawSequenceOfASevenCharacterLine) {
  SystEmitString(systtest::MmioTransport, 2, "ABCDEFG", 7);
  std::vector<sim::MmioAccess> expected = {
      {0xFE200390u, 4, 0x01FF0222u, true}, {0xFE200380u, 4, 0x23A3E7BAu, true}, {0xFE200380u, 4, 0x4CB975D1u, true},
      {0xFE200380u, 4, 0xFA568F9Cu, true}, {0xFE200380u, 4, 0x9ED9484Eu, true}, {0xFE200380u, 2, 7, true},
      {0xFE200380u, 4, 0x44434241u, true}, {0xFE200380u, 2, 0x4645, true},      {0xFE200380u, 1, 0x47, true},
      {0xFE2003B0u, 4, 0, true},
  };
  EXPECT_EQ(platform.Recorded(), expected);
  EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined();
}

TEST_F(SystWireTest, DecoderReadsBackEveryLengthAndTheInlineForm) {
  const char text[] = "Status 0123456789";
  for (uint16_t length = 1; length <= 17; ++length) SystEmitString(systtest::MmioTransport, 1, text, length);
  SystEmitString(systtest::MmioTransport, 4, "", 0);
  auto messages = Decoded();
  ASSERT_EQ(messages.size(), 18u);
  for (uint16_t length = 1; length <= 17; ++length) {
    const auto& m = messages[length - 1];
    EXPECT_TRUE(m.errors.empty()) << m.errors.front();
    EXPECT_EQ(m.type, 2u);
    EXPECT_EQ(m.subtype, 1u);
    EXPECT_EQ(m.severity, 1u);
    EXPECT_TRUE(m.has_guid);
    EXPECT_EQ(m.GuidText(), "23A3E7BA-75D1-4CB9-9C8F-56FA4E48D99E");
    ASSERT_TRUE(m.length.has_value());
    EXPECT_EQ(*m.length, length);
    EXPECT_EQ(m.Text(), std::string(text, length));
    EXPECT_FALSE(m.crc.has_value());
  }
  const auto& empty = messages.back();
  EXPECT_EQ(empty.header, 0x01FF0042u);
  EXPECT_FALSE(empty.length.has_value());
  EXPECT_EQ(empty.payload.size(), 24u);
  EXPECT_EQ(empty.Text(), "");
  EXPECT_EQ(empty.writes, 1u + 4 + 6 + 1);
}

TEST_F(SystWireTest, DecoderChecksTheCrcTheEncoderSends) {
  SystTraceHeader header;
  SystTraceHandle handle;
  systtest::InitChecksumHandle(&header, &handle, systtest::MmioTransport);
  SystWriteString(&handle, 2, "123456789", 9);
  SystWriteString(&handle, 2, "inline", 0);
  auto messages = Decoded();
  ASSERT_EQ(messages.size(), 2u);
  for (const auto& m : messages) {
    EXPECT_TRUE(m.has_checksum);
    ASSERT_TRUE(m.crc.has_value());
    EXPECT_TRUE(m.crc_ok);
    EXPECT_TRUE(m.errors.empty()) << m.errors.front();
  }
  EXPECT_EQ(messages[0].Text(), "123456789");
  EXPECT_EQ(messages[1].Text(), "inline");
}

}  // namespace
