// SetRecordString: appending, replacing in place, shrinking, and refusing what would break the record.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "smbios/records/record_toolkit.h"
#include "tests/smbios/records/spine_test_platform.h"
#include "uefi/status.h"

namespace {

using spine_test::Formatted;
using spine_test::Ucs2;

class SetRecordStringTest : public spine_test::SpineTest {
 protected:
  UINTN Size(const EFI_SMBIOS_TABLE_HEADER* record) {
    UINTN size = 0;
    EXPECT_EQ(GetRecordSize(record, &size), EFI_SUCCESS);
    return size;
  }
};

TEST_F(SetRecordStringTest, FirstStringOfAFreshRecord) {
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(9, 0x11), {});
  ASSERT_EQ(SetRecordString(record, 1, u"JSLOT1"), EFI_SUCCESS);
  std::vector<uint8_t> expected = sim::BuildSmbiosRecord(Formatted(9, 0x11), {"JSLOT1"});
  EXPECT_TRUE(sim_test::BytesEqual(Bytes(record, expected.size()), expected));
  EXPECT_EQ(Size(record), 0x11u + 8);
}

TEST_F(SetRecordStringTest, AppendingAfterExistingStrings) {
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(39, 22), {"PSU1", "Maker"});
  ASSERT_EQ(SetRecordString(record, 3, u"Serial 7"), EFI_SUCCESS);
  std::vector<uint8_t> expected = sim::BuildSmbiosRecord(Formatted(39, 22), {"PSU1", "Maker", "Serial 7"});
  EXPECT_TRUE(sim_test::BytesEqual(Bytes(record, expected.size()), expected));
}

TEST_F(SetRecordStringTest, SameLengthChangesOnlyThoseBytes) {
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(9, 0x11), {"JSLOT1", "tail"});
  auto* bytes = reinterpret_cast<uint8_t*>(record);
  bytes[200] = 0x77;  // beyond the record
  std::vector<uint8_t> before = Bytes(record);
  ASSERT_EQ(SetRecordString(record, 1, u"JSLOT9"), EFI_SUCCESS);
  std::vector<uint8_t> after = Bytes(record);
  for (size_t i = 0; i < after.size(); ++i) {
    if (i == 0x11 + 5) {
      EXPECT_EQ(after[i], '9');
    } else {
      ASSERT_EQ(after[i], before[i]) << "byte " << i;
    }
  }
}

TEST_F(SetRecordStringTest, ShorterStringShrinksTheRecordAndKeepsLaterStrings) {
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(39, 22), {"PSU1", "Long manufacturer", "S3", "S4"});
  UINTN oldSize = Size(record);
  std::vector<uint8_t> before = Bytes(record);
  ASSERT_EQ(SetRecordString(record, 2, u"Acme"), EFI_SUCCESS);
  UINTN newSize = Size(record);
  EXPECT_EQ(newSize, oldSize - (17 - 4));
  std::vector<uint8_t> expected = sim::BuildSmbiosRecord(Formatted(39, 22), {"PSU1", "Acme", "S3", "S4"});
  EXPECT_TRUE(sim_test::BytesEqual(Bytes(record, newSize), expected));
  std::vector<uint8_t> after = Bytes(record);
  for (size_t i = newSize; i < after.size(); ++i) ASSERT_EQ(after[i], before[i]) << "byte " << i;
}

TEST_F(SetRecordStringTest, LongerStringGrowsTheRecord) {
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(39, 22), {"A", "B", "C"});
  ASSERT_EQ(SetRecordString(record, 2, u"Bigger"), EFI_SUCCESS);
  std::vector<uint8_t> expected = sim::BuildSmbiosRecord(Formatted(39, 22), {"A", "Bigger", "C"});
  EXPECT_TRUE(sim_test::BytesEqual(Bytes(record, expected.size()), expected));
}

// Strings of 64 or 65 characters pass the conversion but would make the record malformed; longer texts are
// refused by the conversion. All of them leave the record as it was.
TEST_F(SetRecordStringTest, TextsOfSixtyFourCharactersOrMoreAreRefused) {
  for (size_t length : {64u, 65u, 66u, 200u}) {
    EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(9, 0x11), {"JSLOT1"});
    std::vector<uint8_t> before = Bytes(record);
    std::u16string text(length, u'x');
    EXPECT_EQ(SetRecordString(record, 1, text.c_str()), EFI_INVALID_PARAMETER) << length;
    EXPECT_EQ(SetRecordString(record, 2, text.c_str()), EFI_INVALID_PARAMETER) << length;
    EXPECT_TRUE(sim_test::BytesEqual(Bytes(record), before)) << length;
  }
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(9, 0x11), {});
  EXPECT_EQ(SetRecordString(record, 1, std::u16string(63, u'y').c_str()), EFI_SUCCESS);
  EXPECT_EQ(Size(record), 0x11u + 63 + 2);
}

TEST_F(SetRecordStringTest, EmptyTextIsRefusedSoNoStringIsLost) {
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(39, 22), {"A", "B", "C"});
  std::vector<uint8_t> before = Bytes(record);
  EXPECT_EQ(SetRecordString(record, 2, u""), EFI_INVALID_PARAMETER);
  EXPECT_EQ(SetRecordString(record, 2, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_TRUE(sim_test::BytesEqual(Bytes(record), before));
}

TEST_F(SetRecordStringTest, StringNumberBeyondCountPlusOneOrZeroIsRefused) {
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(9, 0x11), {"JSLOT1"});
  std::vector<uint8_t> before = Bytes(record);
  EXPECT_EQ(SetRecordString(record, 3, u"far"), EFI_INVALID_PARAMETER);
  EXPECT_EQ(SetRecordString(record, 700, u"far"), EFI_INVALID_PARAMETER);
  EXPECT_EQ(SetRecordString(record, 0, u"zero"), EFI_INVALID_PARAMETER);
  EXPECT_TRUE(sim_test::BytesEqual(Bytes(record), before));
  EXPECT_EQ(SetRecordString(nullptr, 1, u"x"), EFI_INVALID_PARAMETER);
}

// A record already near 768 bytes: growing it past the buffer is refused and nothing is written beyond it
// (the pool's guard bytes around the buffer would report such a write at the end of the test).
TEST_F(SetRecordStringTest, RebuildThatWouldPassTheBufferIsRefused) {
  std::vector<std::string> strings(11, std::string(63, 's'));  // 11 * 64 = 704 bytes of strings
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(40, 40), strings);
  ASSERT_EQ(Size(record), 40u + 704 + 1);  // 745
  std::vector<uint8_t> before = Bytes(record);
  EXPECT_EQ(SetRecordString(record, 12, std::u16string(23, u'n').c_str()), EFI_BUFFER_TOO_SMALL);  // 769
  EXPECT_EQ(SetRecordString(record, 3, std::u16string(1, u'n').c_str()), EFI_SUCCESS);              // shrinks
  EXPECT_EQ(Size(record), 745u - 62);
  EXPECT_EQ(SetRecordString(record, 12, std::u16string(63, u'n').c_str()), EFI_SUCCESS);  // 683 + 64 = 747
  EXPECT_EQ(Size(record), 747u);
}

TEST_F(SetRecordStringTest, RecordExactlyFillingTheBufferIsAccepted) {
  std::vector<std::string> strings(11, std::string(63, 's'));
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(40, 40), strings);
  // 745 + 22 + 1 = 768: the final NUL lands on the buffer's last byte.
  ASSERT_EQ(SetRecordString(record, 12, std::u16string(22, u'n').c_str()), EFI_SUCCESS);
  EXPECT_EQ(Size(record), 768u);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(record)[767], 0);
}

TEST_F(SetRecordStringTest, StringSetNotEndingInsideTheBufferIsRefused) {
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(9, 0x11), {});
  auto* bytes = reinterpret_cast<uint8_t*>(record);
  // Strings of 10 characters up to the very end of the buffer, no terminating double NUL.
  for (size_t i = 0x11; i < SmbiosRecordBufferSize; ++i) bytes[i] = (i % 11 == 0) ? 0 : 'q';
  std::vector<uint8_t> before = Bytes(record);
  EXPECT_EQ(SetRecordString(record, 1, u"JSLOT1"), EFI_INVALID_PARAMETER);
  EXPECT_TRUE(sim_test::BytesEqual(Bytes(record), before));
}

// The builders ignore this function's status, so it must not fail for want of pool: it needs none.
TEST_F(SetRecordStringTest, WorksWithoutPool) {
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(39, 22), {"PSU1", "Maker"});
  uint64_t before = platform.Pool().Stats().allocations;
  platform.FailAllocationsFrom(1);
  EXPECT_EQ(SetRecordString(record, 1, u"A longer location"), EFI_SUCCESS);
  EXPECT_EQ(SetRecordString(record, 3, u"Serial"), EFI_SUCCESS);
  EXPECT_EQ(platform.Pool().Stats().allocations, before);
  std::vector<uint8_t> expected = sim::BuildSmbiosRecord(Formatted(39, 22), {"A longer location", "Maker", "Serial"});
  EXPECT_TRUE(sim_test::BytesEqual(Bytes(record, expected.size()), expected));
  platform.Pool().ClearFailures();
}

}  // namespace
