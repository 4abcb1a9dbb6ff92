// GetRecordSize: formatted area plus string set, and the refusal of over-long strings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/dxe/smbios_record_check.h"
#include "smbios/records/record_toolkit.h"
#include "tests/smbios/records/spine_test_platform.h"
#include "uefi/status.h"

namespace {

using spine_test::Formatted;

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

  std::vector<uint8_t> bad = sim::BuildSmbiosRecord(Formatted(1, 8), {"a", std::string(64, 'b')});
  EXPECT_EQ(SizeOf(bad, &status), 0u);
  EXPECT_EQ(status, EFI_INVALID_PARAMETER);
}

TEST(GetRecordSize, MissingArgumentsAreInvalidParameter) {
  std::vector<uint8_t> bytes = sim::BuildSmbiosRecord(Formatted(9, 0x11), {});
  EXPECT_EQ(GetRecordSize(nullptr, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(GetRecordSize(reinterpret_cast<const EFI_SMBIOS_TABLE_HEADER*>(bytes.data()), nullptr),
            EFI_INVALID_PARAMETER);
}

}  // namespace
