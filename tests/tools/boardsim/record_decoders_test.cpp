// The field decoders of types 1, 9, 39, 40 and 41, from record bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/boardsim/record_decoders.h"

namespace {

using boardsim::DecodedField;
using boardsim::RecordFields;

std::string ValueOf(const std::vector<DecodedField>& fields, const std::string& name) {
  for (const auto& f : fields)
    if (f.name == name) return f.value;
  return "<absent>";
}

TEST(RecordFields, FieldsBeyondTheFormattedAreaAreAbsent) {
  RecordFields r({9, 6, 0, 0, 1, 0xB5, 0x77, 0x77}, {"JSLOT1"});  // Length 6, two bytes of string set after it
  EXPECT_EQ(r.Length(), 6u);
  EXPECT_EQ(r.U8(5), 0xB5);
  EXPECT_FALSE(r.U8(6).has_value());
  EXPECT_FALSE(r.U16(5).has_value());
  EXPECT_EQ(*r.StringField(4), "1 \"JSLOT1\"");
  RecordFields lying({9, 200, 0, 0}, {});  // Length larger than the bytes given
  EXPECT_EQ(lying.Length(), 4u);
  EXPECT_FALSE(lying.U8(4).has_value());
}

TEST(RecordFields, StringNumbersBeyondTheSetAreShownAsMissing) {
  RecordFields r({41, 11, 0, 0, 3, 0, 0, 0, 0, 0, 0}, {"only one"});
  EXPECT_EQ(*r.StringField(4), "3 (missing: 1 strings)");
  EXPECT_EQ(*r.StringField(5), "0 (none)");
}

TEST(DecodeType9, DecodesTheSlotFieldsAndTheDeviceClassNibble) {
  std::vector<uint8_t> bytes = {9,    0x11, 0x05, 0x00, 1,    0xB5, 0x0B, 0x04, 0x03,
                                0x02, 0x00, 0x04, 0x25, 0x00, 0x00, 0x17, 0x08};
  auto fields = boardsim::DecodeType9(RecordFields(bytes, {"JSLOT2"}));
  EXPECT_EQ(ValueOf(fields, "Slot Designation"), "1 \"JSLOT2\"");
  EXPECT_EQ(ValueOf(fields, "Slot Type"), "0xB5 (PCI Express Gen 3 x8)");
  EXPECT_EQ(ValueOf(fields, "Slot Data Bus Width"), "0x0B (8x)");
  EXPECT_EQ(ValueOf(fields, "Current Usage"), "0x04 (In use)");
  EXPECT_EQ(ValueOf(fields, "Slot Length"), "0x03 (Short)");
  EXPECT_EQ(ValueOf(fields, "Slot ID"), "0x0002 (high 0, number 2)");
  EXPECT_EQ(ValueOf(fields, "Slot Characteristics 1"), "0x04 (3.3 V)");
  EXPECT_EQ(ValueOf(fields, "Slot Characteristics 2"), "0x25 (PME signal, SMBus signal)");
  EXPECT_EQ(ValueOf(fields, "Slot Device Class"), "2 (network)");
  EXPECT_EQ(ValueOf(fields, "Bus Number"), "0x17");
  EXPECT_EQ(ValueOf(fields, "Device/Function Number"), "0x08 (device 1, function 0)");
}

TEST(DecodeType1, ShowsTheUuidWithItsLittleEndianFieldsAndMarksAZeroOne) {
  std::vector<uint8_t> bytes(0x1B, 0);
  bytes[0] = 1;
  bytes[1] = 0x1B;
  for (int i = 0; i < 16; ++i) bytes[8 + i] = static_cast<uint8_t>(i + 1);
  bytes[0x18] = 6;
  auto fields = boardsim::DecodeType1(RecordFields(bytes, {}));
  EXPECT_EQ(ValueOf(fields, "UUID"), "04030201-0605-0807-090A-0B0C0D0E0F10");
  EXPECT_EQ(ValueOf(fields, "Wake-up Type"), "0x06 (Power Switch)");
  std::fill(bytes.begin() + 8, bytes.begin() + 24, 0);
  EXPECT_EQ(ValueOf(boardsim::DecodeType1(RecordFields(bytes, {})), "UUID"),
            "00000000-0000-0000-0000-000000000000 (all zero: not set)");
}

TEST(DecodeType1, SplitsATimeBasedUuidIntoVersionVariantTimeAndNode) {
  std::vector<uint8_t> bytes(0x1B, 0);
  bytes[0] = 1;
  bytes[1] = 0x1B;
  // One minute after 1996-01-01 00:00, node 02:5E:10:20:30:40.
  const uint8_t uuid[16] = {0x00, 0x86, 0xEE, 0x79, 0xCF, 0x43, 0xCF, 0x11,
                            0x80, 0x00, 0x02, 0x5E, 0x10, 0x20, 0x30, 0x40};
  std::copy(uuid, uuid + 16, bytes.begin() + 8);
  auto fields = boardsim::DecodeType1(RecordFields(bytes, {}));
  EXPECT_EQ(ValueOf(fields, "UUID Version"), "1 (time-based)");
  EXPECT_EQ(ValueOf(fields, "UUID Variant"), "RFC 4122");
  EXPECT_EQ(ValueOf(fields, "UUID Time"), "1996-01-01 00:01 UTC (0x1CF43CF79EE8600)");
  EXPECT_EQ(ValueOf(fields, "UUID Node (MAC address)"), "02:5E:10:20:30:40");
  std::fill(bytes.begin() + 18, bytes.begin() + 24, 0);
  EXPECT_EQ(ValueOf(boardsim::DecodeType1(RecordFields(bytes, {})), "UUID Node (MAC address)"),
            "00:00:00:00:00:00 (none read)");
}

TEST(DecodeType39, SplitsThePowerSupplyCharacteristics) {
  std::vector<uint8_t> bytes = {39, 22,   0,    0,    1,    1,    2,    3,    4,    5,    6,
                                7,  0x00, 0x80, 0xA2, 0x11, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  auto fields = boardsim::DecodeType39(RecordFields(bytes, {"PSU1", "a", "b", "c", "d", "e", "f"}));
  EXPECT_EQ(ValueOf(fields, "Max Power Capacity"), "0x8000 (unknown)");
  EXPECT_EQ(ValueOf(fields, "Type"), "0x04 (Switching)");
  EXPECT_EQ(ValueOf(fields, "Status"), "0x03 (OK)");
  EXPECT_EQ(ValueOf(fields, "Input Voltage Range Switching"), "0x04 (Auto-switch)");
  EXPECT_EQ(ValueOf(fields, "Flags"), "present");
  EXPECT_EQ(ValueOf(fields, "Cooling Device Handle"), "0xFFFF (none)");
}

TEST(DecodeType41, ShowsTheDeviceTypeAndItsEnabledBit) {
  std::vector<uint8_t> bytes = {41, 11, 0, 0, 1, 0x85, 0, 0, 0, 0x03, 0};
  auto fields = boardsim::DecodeType41(RecordFields(bytes, {"Drask Ethernet Lambda "}));
  EXPECT_EQ(ValueOf(fields, "Device Type"), "0x05 (Ethernet), enabled");
  EXPECT_EQ(ValueOf(fields, "Bus Number"), "0x03");
  bytes[5] = 0x03;
  EXPECT_EQ(ValueOf(boardsim::DecodeType41(RecordFields(bytes, {})), "Device Type"), "0x03 (Video), disabled");
}

// A type 40 record as the driver builds it for an add-in card: identity block, VPD header, VPD image.
std::vector<uint8_t> AdditionalInformation(const std::vector<uint8_t>& vpd) {
  std::vector<uint8_t> r = {40, 0, 0, 0, 1, 0, 0x34, 0x12, 0, 0};
  const uint8_t identity[17] = {'_',  'A',  'S',  'T',  1,    17,   0x86, 0x80, 0x21,
                                0x15, 0x6D, 0x1E, 0x01, 0x00, 0x02, 0x00, 0x00};
  r.insert(r.end(), identity, identity + 17);
  const uint8_t header[6] = {'_', 'V', 'P', 'D', 1, 6};
  r.insert(r.end(), header, header + 6);
  r.insert(r.end(), vpd.begin(), vpd.end());
  r[1] = static_cast<uint8_t>(r.size());
  r[5] = static_cast<uint8_t>(r.size() - 5);
  return r;
}

TEST(DecodeType40, ShowsTheEntryReferencedHandleAndBothBlocks) {
  std::vector<uint8_t> vpd = {0x82, 3, 0, 'N', 'I', 'C', 0x91, 5, 0, 'V', 'B', 2, 0x00, 0x03, 0x78};
  auto fields = boardsim::DecodeType40(RecordFields(AdditionalInformation(vpd), {}));
  EXPECT_EQ(ValueOf(fields, "Number of Entries"), "1");
  EXPECT_EQ(ValueOf(fields, "Referenced Handle"), "0x1234");
  EXPECT_EQ(ValueOf(fields, "Block \"_AST\""), "version 1, length 17");
  EXPECT_EQ(ValueOf(fields, "Vendor ID"), "0x8086");
  EXPECT_EQ(ValueOf(fields, "Device ID"), "0x1521");
  EXPECT_EQ(ValueOf(fields, "Subsystem Vendor ID"), "0x1E6D");
  EXPECT_EQ(ValueOf(fields, "Class Code"), "0x02 0x00 0x00 (base, sub, interface)");
  EXPECT_EQ(ValueOf(fields, "Block \"_VPD\""), "version 1, length 6");
  EXPECT_EQ(ValueOf(fields, "VPD Image"), "15 bytes");
  EXPECT_EQ(ValueOf(fields, "Identifier String"), "\"NIC\"");
  EXPECT_EQ(ValueOf(fields, "Keyword VB").substr(0, 5), "00 03");  // the raw bytes lead the value
  EXPECT_EQ(ValueOf(fields, "End Tag"), "at 14");
}

TEST(DecodeType40, AnEntryLongerThanTheRecordIsReportedNotRead) {
  std::vector<uint8_t> r = AdditionalInformation({});
  r[5] = 200;
  auto fields = boardsim::DecodeType40(RecordFields(r, {}));
  EXPECT_EQ(ValueOf(fields, "Entry 1"), "malformed: does not fit in the formatted area");
  EXPECT_EQ(ValueOf(fields, "Vendor ID"), "<absent>");
}

TEST(FindDecoder, KnowsTheDecodedTypesOnly) {
  for (uint8_t type : {1, 9, 39, 40, 41}) EXPECT_NE(boardsim::FindDecoder(type), nullptr) << int(type);
  EXPECT_EQ(boardsim::FindDecoder(2), nullptr);
}

}  // namespace
