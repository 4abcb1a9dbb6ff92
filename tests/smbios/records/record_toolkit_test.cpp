// The record toolkit: GetRecordSize (formatted area plus string set, over-long strings refused); adding, finding
// and removing records through the SMBIOS protocol; SetRecordString (appending, replacing in place, shrinking, and
// refusing what would break the record).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/dxe/protocol_names.h"
#include "sim/dxe/smbios_record_check.h"
#include "smbios/records/record_toolkit.h"
#include "tests/smbios/records/records_test_platform.h"
#include "uefi/status.h"

namespace {

using records_test::Formatted;
using records_test::Ucs2;

UINTN SizeOf(const std::vector<uint8_t>& bytes, EFI_STATUS* status) {
  UINTN size = 0;
  *status = GetRecordSize(reinterpret_cast<const EFI_SMBIOS_TABLE_HEADER*>(bytes.data()), &size);
  return size;
}

TEST(GetRecordSize, RecordWithoutStringsIsLengthPlusTwo) {
  std::vector<uint8_t> bytes = sim::BuildSmbiosRecord(Formatted(9, 0x11), {});
  bytes.resize(64, 0xCC);  // bytes after the double NUL are not part of the record
  EFI_STATUS status;
  EXPECT_EQ(SizeOf(bytes, &status), 0x11u + 2);
  EXPECT_EQ(status, EFI_SUCCESS);
}

TEST(GetRecordSize, CountsEveryStringWithItsNulAndTheFinalNul) {
  std::vector<uint8_t> bytes = sim::BuildSmbiosRecord(Formatted(39, 22), {"PSU1", "To be filled", "x"});
  bytes.push_back(0xCC);
  EFI_STATUS status;
  EXPECT_EQ(SizeOf(bytes, &status), 22u + 5 + 13 + 2 + 1);
  EXPECT_EQ(status, EFI_SUCCESS);
}

TEST(GetRecordSize, AcceptsSixtyThreeCharactersAndRefusesSixtyFour) {
  std::vector<uint8_t> ok = sim::BuildSmbiosRecord(Formatted(1, 8), {"a", std::string(63, 'b')});
  EFI_STATUS status;
  EXPECT_EQ(SizeOf(ok, &status), 8u + 2 + 64 + 1);
  EXPECT_EQ(status, EFI_SUCCESS);

  for (size_t length : {64u, 65u, 200u}) {
    std::vector<uint8_t> bad = sim::BuildSmbiosRecord(Formatted(1, 8), {"a", std::string(length, 'b')});
    EXPECT_EQ(SizeOf(bad, &status), 0u) << length;
    EXPECT_EQ(status, EFI_INVALID_PARAMETER) << length;
  }
}

TEST(GetRecordSize, MissingArgumentsAreInvalidParameter) {
  std::vector<uint8_t> bytes = sim::BuildSmbiosRecord(Formatted(9, 0x11), {});
  UINTN size = 7;
  EXPECT_EQ(GetRecordSize(nullptr, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(GetRecordSize(nullptr, &size), EFI_INVALID_PARAMETER);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(GetRecordSize(reinterpret_cast<const EFI_SMBIOS_TABLE_HEADER*>(bytes.data()), nullptr),
            EFI_INVALID_PARAMETER);
}

class RecordTableTest : public records_test::RecordBufferTest {};

TEST_F(RecordTableTest, AddRecordCopiesTheRecordAndWritesTheAssignedHandle) {
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(9, 0x11), {"JSLOT1"});
  reinterpret_cast<uint8_t*>(record)[4] = 1;
  ASSERT_EQ(AddRecord(record), EFI_SUCCESS);
  EXPECT_NE(record->Handle, SMBIOS_HANDLE_PI_RESERVED);
  auto records = platform.Smbios().Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].handle, record->Handle);
  EXPECT_EQ(records[0].strings, std::vector<std::string>{"JSLOT1"});
  EXPECT_EQ(platform.Calls().Get("Smbios.Add"), 1u);
}

TEST_F(RecordTableTest, AddRecordRefusesANullRecordWithoutCallingAdd) {
  EXPECT_EQ(AddRecord(nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(platform.Calls().Get("Smbios.Add"), 0u);
}

TEST_F(RecordTableTest, RefusedAddIsReportedAndLeavesTheHandle) {
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(9, 0x11), {});
  reinterpret_cast<uint8_t*>(record)[4] = 3;  // names string 3 of an empty set
  record->Handle = 0x1234;
  EXPECT_EQ(AddRecord(record), EFI_SUCCESS) << "the status of Add itself is not passed on";
  EXPECT_EQ(record->Handle, 0x1234);
  EXPECT_EQ(platform.Smbios().Count(), 0u);
  platform.Violations().Take();  // the refusal is what this test provokes
}

TEST_F(RecordTableTest, FindFirstAnswersTheFirstRecordOfTheType) {
  AddForeign(2);
  uint16_t first = AddForeign(9, 0x11);
  AddForeign(9, 0x11);
  EFI_SMBIOS_HANDLE handle = 0;
  ASSERT_EQ(FindFirstRecordOfType(9, &handle), EFI_SUCCESS);
  EXPECT_EQ(handle, first);
  EXPECT_EQ(FindFirstRecordOfType(41, &handle), EFI_NOT_FOUND);
  EXPECT_EQ(FindFirstRecordOfType(9, nullptr), EFI_INVALID_PARAMETER);
}

TEST_F(RecordTableTest, RemoveFirstRemovesOnlyOne) {
  AddForeign(27, 14);
  uint16_t second = AddForeign(27, 14);
  ASSERT_EQ(RemoveFirstRecordOfType(27), EFI_SUCCESS);
  auto records = platform.Smbios().Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].handle, second);
  EXPECT_EQ(RemoveFirstRecordOfType(28), EFI_NOT_FOUND);
}

TEST_F(RecordTableTest, RemoveAllRemovesExactlyTheRecordsOfTheType) {
  AddForeign(28, 22);
  uint16_t other = AddForeign(1, 27);
  AddForeign(28, 22);
  AddForeign(28, 22);
  ASSERT_EQ(RemoveAllRecordsOfType(28), EFI_SUCCESS);
  auto records = platform.Smbios().Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].handle, other);
  EXPECT_EQ(platform.Calls().Get("Smbios.Remove"), 3u);
  EXPECT_EQ(RemoveAllRecordsOfType(28), EFI_SUCCESS);  // none left: success, nothing removed
  EXPECT_EQ(platform.Smbios().Count(), 1u);
}

TEST_F(RecordTableTest, RemoveAllCountsTheRecordsThenRemovesTheFirstOneThatManyTimes) {
  uint16_t first = AddForeign(1, 27);
  for (int i = 0; i < 50; ++i) AddForeign(27, 14);
  uint16_t last = AddForeign(2, 8);
  ASSERT_EQ(RemoveAllRecordsOfType(27), EFI_SUCCESS);
  auto records = platform.Smbios().Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].handle, first);
  EXPECT_EQ(records[1].handle, last);
  EXPECT_EQ(platform.Calls().Get("Smbios.Remove"), 50u);
  // The counting walk: 50 records and the call that ends it; then one search from the head per removal.
  EXPECT_EQ(platform.Calls().Get("Smbios.GetNext"), 51u + 50u);
}

TEST_F(RecordTableTest, WithoutTheSmbiosProtocolEveryOperationAnswersTheLookupStatus) {
  AddForeign(9, 0x11);
  platform.MarkProtocolAbsent(*sim::ProtocolGuidByName("smbios"));
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(9, 0x11), {});
  EFI_SMBIOS_HANDLE handle = 0;
  EXPECT_EQ(AddRecord(record), EFI_NOT_FOUND);
  EXPECT_EQ(FindFirstRecordOfType(9, &handle), EFI_NOT_FOUND);
  EXPECT_EQ(RemoveFirstRecordOfType(9), EFI_NOT_FOUND);
  EXPECT_EQ(RemoveAllRecordsOfType(9), EFI_NOT_FOUND);
  EXPECT_EQ(platform.Smbios().Count(), 1u);
}

TEST_F(RecordTableTest, TheOperationsLocateTheProtocolOnceAndShareIt) {
  EFI_SMBIOS_HANDLE handle = 0;
  AddForeign(9, 0x11);
  FindFirstRecordOfType(9, &handle);
  FindFirstRecordOfType(9, &handle);
  RemoveAllRecordsOfType(9);
  RemoveAllRecordsOfType(9);
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(9, 0x11), {});
  AddRecord(record);
  EXPECT_EQ(platform.Calls().Get("LocateProtocol"), 1u);  // the first find; every later operation reuses it
  EXPECT_NE(*DriverProtocolCache(CachedSmbios), nullptr);
}

// GetNext stand-ins for protocols that misbehave: one that ends the walk with success and the reserved handle,
// one whose walk never ends (it answers the same record every time).
uint64_t fake_get_next_calls = 0;
EFI_SMBIOS_HANDLE fake_get_next_handle = SMBIOS_HANDLE_PI_RESERVED;
EFI_STATUS EFIAPI FakeGetNext(const EFI_SMBIOS_PROTOCOL*, EFI_SMBIOS_HANDLE* handle, EFI_SMBIOS_TYPE*,
                              EFI_SMBIOS_TABLE_HEADER** record, EFI_HANDLE*) {
  ++fake_get_next_calls;
  *handle = fake_get_next_handle;
  *record = nullptr;
  return EFI_SUCCESS;
}

TEST_F(RecordTableTest, AWalkEndingWithSuccessAndTheReservedHandleFindsNothing) {
  AddForeign(27, 14);
  platform.Smbios().Protocol()->GetNext = &FakeGetNext;
  fake_get_next_calls = 0;
  fake_get_next_handle = SMBIOS_HANDLE_PI_RESERVED;
  EFI_SMBIOS_HANDLE handle = 7;
  EXPECT_EQ(FindFirstRecordOfType(27, &handle), EFI_NOT_FOUND);
  EXPECT_EQ(handle, 7);
  EXPECT_EQ(RemoveAllRecordsOfType(27), EFI_SUCCESS);
  EXPECT_EQ(fake_get_next_calls, 2u);
  EXPECT_EQ(platform.Calls().Get("Smbios.Remove"), 0u);
  EXPECT_EQ(platform.Smbios().Count(), 1u);
}

// The count stops at 0xFFFE records (no table holds more); the removals stop at the first one that fails.
TEST_F(RecordTableTest, AWalkThatNeverEndsIsCountedToTheHandleLimitAndTheFirstFailedRemoveEndsIt) {
  fake_get_next_handle = AddForeign(27, 14);
  platform.Smbios().Protocol()->GetNext = &FakeGetNext;
  fake_get_next_calls = 0;
  EXPECT_EQ(RemoveAllRecordsOfType(27), EFI_INVALID_PARAMETER);  // the second Remove: the record is gone
  EXPECT_EQ(fake_get_next_calls, 0xFFFEu + 2);
  EXPECT_EQ(platform.Calls().Get("Smbios.Remove"), 2u);
  EXPECT_EQ(platform.Smbios().Count(), 0u);
  platform.Violations().Take();  // the Remove of a handle no longer in the table
}

class SetRecordStringTest : public records_test::RecordBufferTest {
 protected:
  static constexpr uint8_t kFill = 0xEE;  // the buffer's bytes after the record

  UINTN Size(const EFI_SMBIOS_TABLE_HEADER* record) {
    UINTN size = 0;
    EXPECT_EQ(GetRecordSize(record, &size), EFI_SUCCESS);
    return size;
  }
  // The whole buffer: the record built from `formatted` and `strings`, then the fill bytes untouched.
  ::testing::AssertionResult BufferHolds(const EFI_SMBIOS_TABLE_HEADER* record, const std::vector<uint8_t>& formatted,
                                         const std::vector<std::string>& strings) {
    std::vector<uint8_t> expected = sim::BuildSmbiosRecord(formatted, strings);
    expected.resize(SmbiosRecordBufferSize, kFill);
    return sim_test::BytesEqual(Bytes(record), expected);
  }
};

TEST_F(SetRecordStringTest, FirstStringOfAFreshRecord) {
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(9, 0x11), {}, kFill);
  ASSERT_EQ(SetRecordString(record, 1, u"JSLOT1"), EFI_SUCCESS);
  EXPECT_TRUE(BufferHolds(record, Formatted(9, 0x11), {"JSLOT1"}));
  EXPECT_EQ(Size(record), 0x11u + 8);
}

TEST_F(SetRecordStringTest, AppendingAfterExistingStrings) {
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(39, 22), {"PSU1", "Maker"}, kFill);
  ASSERT_EQ(SetRecordString(record, 3, u"Serial 7"), EFI_SUCCESS);
  EXPECT_TRUE(BufferHolds(record, Formatted(39, 22), {"PSU1", "Maker", "Serial 7"}));
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
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(39, 22), {"A", "B", "C"}, kFill);
  ASSERT_EQ(SetRecordString(record, 2, u"Bigger"), EFI_SUCCESS);
  EXPECT_TRUE(BufferHolds(record, Formatted(39, 22), {"A", "Bigger", "C"}));
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
  EXPECT_EQ(SetRecordString(record, 3, std::u16string(1, u'n').c_str()), EFI_SUCCESS);             // shrinks
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

// The same in a buffer of exactly the builders' size: no byte past it is read (the sanitizer trees see such a
// read), whether the last string runs to the buffer's end or ends with a NUL in its last byte.
TEST_F(SetRecordStringTest, NoByteOutsideTheBufferIsReadForASetThatDoesNotEnd) {
  for (size_t last_nul : {SmbiosRecordBufferSize - 5, SmbiosRecordBufferSize - 1}) {
    std::vector<uint8_t> buffer(SmbiosRecordBufferSize, 'q');
    std::vector<uint8_t> formatted = Formatted(9, 0x11);
    std::copy(formatted.begin(), formatted.end(), buffer.begin());
    for (size_t i = 0x11 + 40; i <= last_nul; i += 40) buffer[i] = 0;
    buffer[last_nul] = 0;
    std::vector<uint8_t> before = buffer;
    auto* record = reinterpret_cast<EFI_SMBIOS_TABLE_HEADER*>(buffer.data());
    EXPECT_EQ(SetRecordString(record, 1, u"JSLOT1"), EFI_INVALID_PARAMETER) << last_nul;
    EXPECT_EQ(buffer, before) << last_nul;
  }
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
