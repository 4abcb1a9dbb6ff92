// The message writer on hand-made descriptor lists, and the CRC-32 with its table.
#include <gtest/gtest.h>

#include <vector>

#include "recording_transport.h"
#include "trace/syst/syst_crc32.h"
#include "trace/syst/syst_message_writer.h"
#include "trace/syst/syst_string_message.h"

namespace {

using systtest::Calls;
using systtest::TransportCall;

uint32_t Crc(const char* text) {
  uint32_t crc = SystCrc32Initial;
  for (const char* p = text; *p; ++p) crc = SystCrc32Fold(crc, static_cast<UINT8>(*p));
  return ~crc;
}

TEST(SystCrc32, TableStartsWithTheStandardEntriesAndGivesTheCheckValue) {
  EXPECT_EQ(SystCrc32Table.Entries[0], 0x00000000u);
  EXPECT_EQ(SystCrc32Table.Entries[1], 0x77073096u);
  EXPECT_EQ(SystCrc32Table.Entries[2], 0xEE0E612Cu);
  EXPECT_EQ(SystCrc32Table.Entries[255], 0x2D02EF8Du);
  EXPECT_EQ(Crc("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc(""), 0x00000000u);
}

class SystMessageWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    systtest::ResetCalls();
    SystInitHeader(&header, systtest::RecordingTransport, 0);
    SystInitHandle(&handle, &header, &pair);
    systtest::ResetCalls();
    for (unsigned i = 0; i < sizeof record; ++i) reinterpret_cast<UINT8*>(&record)[i] = static_cast<UINT8>(i);
    record.Header = 0x01000002u;
  }
  SystTraceHeader header;
  SystTraceHandle handle;
  SystChannelPair pair = {32, 14};
  SystMessageRecord record;
};

TEST_F(SystMessageWriterTest, EightBitItemsAndUnknownKindsAreHandled) {
  SystPayloadDescriptor list[] = {{SystPayload8, 4, 3}, {7, 4, 10}, {SystPayload16, 8, 1}, {SystPayloadEnd, 0, 0}};
  SystMessageWriter(&handle, list, &record);
  std::vector<TransportCall> expected = {{"first", 0x01000002u}, {"w8", 4}, {"w8", 5}, {"w8", 6},
                                         {"w16", 0x0908},        {"end", 0}};
  EXPECT_EQ(Calls(), expected);
}

TEST_F(SystMessageWriterTest, ADescriptorReachingPastTheRecordIsSkipped) {
  SystPayloadDescriptor list[] = {{SystPayload32, 48, 7}, {SystPayload8, 71, 1}, {SystPayloadEnd, 0, 0}};
  SystMessageWriter(&handle, list, &record);
  std::vector<TransportCall> expected = {{"first", 0x01000002u}, {"w8", 71}, {"end", 0}};
  EXPECT_EQ(Calls(), expected);
}

TEST_F(SystMessageWriterTest, AReferenceMustLieInsideTheRecordAndBeNonNull) {
  // The pointer's bytes at the last offset that holds them, one past it, and far beyond; then a null one.
  const char* text = "WXYZ";
  const UINT32 last = sizeof(SystMessageRecord) - sizeof(UINTN);
  UINTN pointer = reinterpret_cast<UINTN>(text);
  for (unsigned i = 0; i < sizeof pointer; ++i)
    reinterpret_cast<UINT8*>(&record)[last + i] = static_cast<UINT8>(pointer >> (8 * i));
  SystPayloadDescriptor list[] = {{SystPayloadByReference, static_cast<UINT16>(last), 4},
                                  {SystPayloadByReference, static_cast<UINT16>(last + 1), 4},
                                  {SystPayloadByReference, 200, 4},
                                  {SystPayloadEnd, 0, 0}};
  SystMessageWriter(&handle, list, &record);
  std::vector<TransportCall> expected = {{"first", 0x01000002u}, {"w32", 0x5A595857u}, {"end", 0}};
  EXPECT_EQ(Calls(), expected);

  systtest::ResetCalls();
  for (unsigned i = 0; i < sizeof pointer; ++i) record.Text[i] = 0;
  SystPayloadDescriptor null_reference[] = {{SystPayloadByReference, 48, 5}, {SystPayloadEnd, 0, 0}};
  SystMessageWriter(&handle, null_reference, &record);
  expected = {{"first", 0x01000002u}, {"end", 0}};
  EXPECT_EQ(Calls(), expected);
}

TEST_F(SystMessageWriterTest, MissingOperationsAreSkippedWithoutFault) {
  header.Write8 = nullptr;
  header.Write16 = nullptr;
  header.EndMessage = nullptr;
  header.Write32 = nullptr;
  handle.Tag |= SystChecksumPresent;  // no Write32 for the CRC either
  SystPayloadDescriptor list[] = {
      {SystPayload8, 4, 2}, {SystPayload16, 8, 1}, {SystPayload32, 12, 1}, {SystPayloadEnd, 0, 0}};
  SystMessageWriter(&handle, list, &record);
  std::vector<TransportCall> expected = {{"first", 0x01000002u}};
  EXPECT_EQ(Calls(), expected);
}

TEST_F(SystMessageWriterTest, ChecksumFoldsEveryItemLeastSignificantByteFirst) {
  handle.Tag |= SystChecksumPresent;
  record.Header = 0x34333231u;  // "1234"
  const char* rest = "56789";
  UINTN pointer = reinterpret_cast<UINTN>(rest);
  for (unsigned i = 0; i < sizeof pointer; ++i) record.Text[i] = static_cast<UINT8>(pointer >> (8 * i));
  SystPayloadDescriptor list[] = {{SystPayloadByReference, 48, 5}, {SystPayloadEnd, 0, 0}};
  SystMessageWriter(&handle, list, &record);
  std::vector<TransportCall> expected = {
      {"first", 0x34333231u}, {"w32", 0x38373635u}, {"w8", '9'}, {"w32", 0xCBF43926u}, {"end", 0}};
  EXPECT_EQ(Calls(), expected);
}

}  // namespace
