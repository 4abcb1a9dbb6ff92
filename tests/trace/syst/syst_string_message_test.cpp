// String message composition and writing, observed through a transport that records its calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_transport.h"
#include "trace/syst/syst_message_writer.h"
#include "trace/syst/syst_string_message.h"

namespace {

using systtest::Calls;
using systtest::TransportCall;

const std::vector<TransportCall> kGuidWords = {
    {"w32", 0x23A3E7BAu}, {"w32", 0x4CB975D1u}, {"w32", 0xFA568F9Cu}, {"w32", 0x9ED9484Eu}};

class SystStringMessageTest : public ::testing::Test {
 protected:
  void SetUp() override { systtest::ResetCalls(); }

  // The calls after the init-handle call.
  std::vector<TransportCall> Sent() const {
    std::vector<TransportCall> out(Calls().begin(), Calls().end());
    if (!out.empty() && out.front().op == "init") out.erase(out.begin());
    return out;
  }
  static std::vector<TransportCall> Message(uint32_t header, std::vector<TransportCall> body, bool end = true) {
    std::vector<TransportCall> out = {{"first", header}};
    out.insert(out.end(), kGuidWords.begin(), kGuidWords.end());
    out.insert(out.end(), body.begin(), body.end());
    if (end) out.push_back({"end", 0});
    return out;
  }
};

TEST_F(SystStringMessageTest, SetUpUsesMaster32Channel14AndPlatformArgumentZero) {
  SystEmitString(systtest::RecordingTransport, 2, "x", 1);
  ASSERT_FALSE(Calls().empty());
  EXPECT_EQ(Calls().front(), (TransportCall{"init", (32u << 16) | 14u}));
  EXPECT_EQ(systtest::LastPlatformArgument(), 0u);
}

TEST_F(SystStringMessageTest, HeaderAndHandleInitialisation) {
  SystTraceHeader header;
  SystInitHeader(&header, systtest::RecordingTransport, 0);
  EXPECT_EQ(header.ApiVersion, 0x00010400u);
  EXPECT_EQ(header.Writer, &SystMessageWriter);
  EXPECT_EQ(header.Platform, 0u);

  SystTraceHandle handle;
  handle.Tag = 0xFFFFFFFFu;  // stale contents are cleared
  SystChannelPair pair = {40, 3};
  SystInitHandle(&handle, &header, &pair);
  EXPECT_EQ(handle.Header, &header);
  EXPECT_EQ(handle.Flags, 1u);
  EXPECT_EQ(handle.Tag, 0x00FF0000u);
  EXPECT_EQ(handle.Counter, 0u);
  EXPECT_EQ(handle.Master, 40u);
  EXPECT_EQ(handle.Channel, 3u);
  EXPECT_EQ(handle.ChannelPair, &pair);
  EXPECT_EQ(handle.OriginGuid.Data1, 0x23A3E7BAu);
}

TEST_F(SystStringMessageTest, ErrorLineByReferenceHasLengthThenWordsThenTail) {
  SystEmitString(systtest::RecordingTransport, 2, "ERROR!\n", 7);
  EXPECT_EQ(Sent(), Message(0x01FF0222u, {{"w16", 7}, {"w32", 0x4F525245u}, {"w16", 0x2152u}, {"w8", '\n'}}));
}

TEST_F(SystStringMessageTest, TailsForLengthsOneToSeven) {
  const char text[] = "ABCDEFG";
  const std::vector<std::vector<TransportCall>> tails = {
      {{"w8", 0x41}},
      {{"w16", 0x4241}},
      {{"w16", 0x4241}, {"w8", 0x43}},
      {{"w32", 0x44434241u}},
      {{"w32", 0x44434241u}, {"w8", 0x45}},
      {{"w32", 0x44434241u}, {"w16", 0x4645}},
      {{"w32", 0x44434241u}, {"w16", 0x4645}, {"w8", 0x47}},
  };
  for (uint16_t length = 1; length <= 7; ++length) {
    systtest::ResetCalls();
    SystEmitString(systtest::RecordingTransport, 4, text, length);
    std::vector<TransportCall> body = {{"w16", length}};
    body.insert(body.end(), tails[length - 1].begin(), tails[length - 1].end());
    EXPECT_EQ(Sent(), Message(0x01FF0242u, body)) << "length " << length;
  }
}

TEST_F(SystStringMessageTest, InlineEmptyTextIsSixZeroWordsWithoutLength) {
  SystEmitString(systtest::RecordingTransport, 4, "", 0);
  std::vector<TransportCall> zeros(6, {"w32", 0});
  EXPECT_EQ(Sent(), Message(0x01FF0042u, zeros));
}

TEST_F(SystStringMessageTest, InlineTextIsZeroPaddedAndCutAtTwentyFourBytes) {
  SystEmitString(systtest::RecordingTransport, 0, "Hi\0junk", 0);
  std::vector<TransportCall> body = {{"w32", 0x00006948u}, {"w32", 0}, {"w32", 0}, {"w32", 0}, {"w32", 0}, {"w32", 0}};
  EXPECT_EQ(Sent(), Message(0x01FF0002u, body));

  systtest::ResetCalls();
  SystEmitString(systtest::RecordingTransport, 0, "abcdefghijklmnopqrstuvwxyz0123", 0);
  body = {{"w32", 0x64636261u}, {"w32", 0x68676665u}, {"w32", 0x6C6B6A69u},
          {"w32", 0x706F6E6Du}, {"w32", 0x74737271u}, {"w32", 0x78777675u}};
  EXPECT_EQ(Sent(), Message(0x01FF0002u, body));
}

TEST_F(SystStringMessageTest, SeverityKeepsItsLowThreeBits) {
  SystEmitString(systtest::RecordingTransport, 0xF9, "", 0);
  ASSERT_GE(Sent().size(), 1u);
  EXPECT_EQ(Sent().front(), (TransportCall{"first", 0x01FF0012u}));
}

TEST_F(SystStringMessageTest, ANullTextIsSentAsAnEmptyInlineString) {
  SystEmitString(systtest::RecordingTransport, 4, nullptr, 5);
  std::vector<TransportCall> zeros(6, {"w32", 0});
  EXPECT_EQ(Sent(), Message(0x01FF0042u, zeros));
}

TEST_F(SystStringMessageTest, AHandleWithoutTheOriginMarkSendsNoGuid) {
  SystTraceHeader header;
  SystTraceHandle handle;
  SystChannelPair pair = {32, 14};
  SystInitHeader(&header, systtest::RecordingTransport, 0);
  SystInitHandle(&handle, &header, &pair);
  handle.Tag &= ~0x00FF0000u;
  SystWriteString(&handle, 2, "ab", 2);
  EXPECT_EQ(Sent(), (std::vector<TransportCall>{{"first", 0x01000222u}, {"w16", 2}, {"w16", 0x6261u}, {"end", 0}}));
}

TEST_F(SystStringMessageTest, AHeaderWithoutWriterSendsNothing) {
  SystTraceHeader header;
  SystTraceHandle handle;
  SystChannelPair pair = {32, 14};
  SystInitHeader(&header, systtest::RecordingTransport, 0);
  header.Writer = nullptr;
  SystInitHandle(&handle, &header, &pair);
  SystWriteString(&handle, 2, "ab", 2);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(SystStringMessageTest, WithoutTransportNothingIsCalledAndTheResultIsZero) {
  EXPECT_EQ(SystEmitString(nullptr, 2, "text", 4), 0u);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(SystStringMessageTest, ChecksumBitAddsTheCrcBeforeTheEndMark) {
  SystTraceHeader header;
  SystTraceHandle handle;
  systtest::InitChecksumHandle(&header, &handle, systtest::RecordingTransport);
  SystWriteString(&handle, 2, "123456789", 9);
  std::vector<TransportCall> sent = Sent();
  ASSERT_EQ(sent.size(), 1u + 4 + 1 + 3 + 1 + 1);  // header, GUID, length, text, CRC, end
  EXPECT_EQ(sent.front(), (TransportCall{"first", 0x01FF0622u}));
  EXPECT_EQ(sent[sent.size() - 2].op, "w32");
  EXPECT_EQ(sent.back().op, "end");

  // The CRC covers the header, the GUID, the length and the text, in the order sent.
  std::vector<uint8_t> covered;
  for (size_t i = 0; i + 2 < sent.size(); ++i) {
    unsigned width = sent[i].op == "w8" ? 1 : sent[i].op == "w16" ? 2 : 4;
    for (unsigned b = 0; b < width; ++b) covered.push_back(static_cast<uint8_t>(sent[i].value >> (8 * b)));
  }
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t byte : covered) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  EXPECT_EQ(sent[sent.size() - 2].value, ~crc);
}

}  // namespace
