// Adding, finding and removing records through the SMBIOS protocol.
#include <gtest/gtest.h>

#include <vector>

#include "sim/dxe/protocol_names.h"
#include "smbios/records/record_toolkit.h"
#include "tests/smbios/records/spine_test_platform.h"
#include "uefi/status.h"

namespace {

using spine_test::Formatted;

class RecordTableTest : public spine_test::SpineTest {};

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

TEST_F(RecordTableTest, RefusedAddIsReportedAndLeavesTheHandle) {
  EFI_SMBIOS_TABLE_HEADER* record = RecordBuffer(Formatted(9, 0x11), {});
  reinterpret_cast<uint8_t*>(record)[4] = 3;  // names string 3 of an empty set
  EXPECT_EQ(AddRecord(record), EFI_SUCCESS) << "the status of Add itself is not passed on";
  EXPECT_EQ(record->Handle, SMBIOS_HANDLE_PI_RESERVED);
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

}  // namespace
