// The simulated SMBIOS table through its protocol: copying Add, handles, GetNext walks, Remove, refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim/dxe/smbios_record_check.h"
#include "tests/support/platform_checks.h"

namespace {

using sim_test::PlatformTest;

std::vector<uint8_t> Record(uint8_t type, std::vector<uint8_t> fields, std::vector<std::string> strings) {
  // Sized up front: growing a 4-byte vector by insert trips a false array-bounds warning in g++ 12.
  std::vector<uint8_t> formatted(4 + fields.size());
  formatted[0] = type;
  formatted[1] = static_cast<uint8_t>(formatted.size());
  formatted[2] = 0xFE;
  formatted[3] = 0xFF;
  for (size_t i = 0; i < fields.size(); ++i) formatted[4 + i] = fields[i];
  return sim::BuildSmbiosRecord(formatted, strings);
}

class SmbiosTableTest : public PlatformTest {
 protected:
  EFI_SMBIOS_PROTOCOL* smbios() { return platform.Smbios().Protocol(); }
  EFI_STATUS Add(std::vector<uint8_t>& record, EFI_SMBIOS_HANDLE* handle) {
    *handle = SMBIOS_HANDLE_PI_RESERVED;
    return smbios()->Add(smbios(), nullptr, handle, reinterpret_cast<EFI_SMBIOS_TABLE_HEADER*>(record.data()));
  }
  EFI_SMBIOS_HANDLE AddOk(std::vector<uint8_t> record) {
    EFI_SMBIOS_HANDLE h;
    EXPECT_EQ(Add(record, &h), EFI_SUCCESS);
    return h;
  }
  // Adds a record that must be refused and checks that the table did not change.
  void ExpectRefused(std::vector<uint8_t> record, const std::string& reason) {
    const size_t before = platform.Smbios().Count();
    const size_t refusals = platform.Smbios().Refusals().size();
    EFI_SMBIOS_HANDLE h;
    EXPECT_EQ(Add(record, &h), EFI_INVALID_PARAMETER);
    EXPECT_EQ(platform.Smbios().Count(), before);
    ASSERT_EQ(platform.Smbios().Refusals().size(), refusals + 1);
    EXPECT_NE(platform.Smbios().Refusals().back().find(reason), std::string::npos)
        << platform.Smbios().Refusals().back();
    ExpectViolation(reason);
  }
};

TEST_F(SmbiosTableTest, AddCopiesTheWholeRecordAndAssignsAHandle) {
  std::vector<uint8_t> record = Record(9, {1, 0xB5, 0x0B, 0x02, 0x03}, {"JSLOT1"});
  EFI_SMBIOS_HANDLE h;
  ASSERT_EQ(Add(record, &h), EFI_SUCCESS);
  EXPECT_NE(h, SMBIOS_HANDLE_PI_RESERVED);
  std::vector<uint8_t> expected = record;
  std::memset(record.data(), 0, record.size());  // the caller frees or reuses its buffer
  auto records = platform.Smbios().Records();
  ASSERT_EQ(records.size(), 1u);
  expected[2] = static_cast<uint8_t>(h);
  expected[3] = static_cast<uint8_t>(h >> 8);
  EXPECT_TRUE(sim_test::BytesEqual(records[0].bytes, expected));
  EXPECT_EQ(records[0].strings, std::vector<std::string>{"JSLOT1"});
  EXPECT_EQ(platform.Calls().Get("Smbios.Add"), 1u);
}

TEST_F(SmbiosTableTest, AssignsTheLowestFreeHandleAndReusesRemovedOnes) {
  EFI_SMBIOS_HANDLE a = AddOk(Record(2, {}, {}));
  EFI_SMBIOS_HANDLE b = AddOk(Record(3, {}, {}));
  EFI_SMBIOS_HANDLE c = AddOk(Record(4, {}, {}));
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(c, 2);
  EXPECT_EQ(smbios()->Remove(smbios(), b), EFI_SUCCESS);
  EXPECT_EQ(AddOk(Record(5, {}, {})), 1);
}

TEST_F(SmbiosTableTest, AFixedHandleInUseIsRefused) {
  std::vector<uint8_t> r = Record(2, {}, {});
  EFI_SMBIOS_HANDLE h = 7;
  auto* header = reinterpret_cast<EFI_SMBIOS_TABLE_HEADER*>(r.data());
  EXPECT_EQ(smbios()->Add(smbios(), nullptr, &h, header), EFI_SUCCESS);
  EXPECT_EQ(h, 7);
  EXPECT_EQ(smbios()->Add(smbios(), nullptr, &h, header), EFI_ALREADY_STARTED);
}

TEST_F(SmbiosTableTest, GetNextWalksOneTypeAndEndsWithReservedHandle) {
  EFI_SMBIOS_HANDLE s1 = AddOk(Record(9, {1}, {"A"}));
  AddOk(Record(1, {}, {}));
  EFI_SMBIOS_HANDLE s2 = AddOk(Record(9, {1}, {"B"}));
  EFI_SMBIOS_TYPE type = 9;
  EFI_SMBIOS_HANDLE h = SMBIOS_HANDLE_PI_RESERVED;
  EFI_SMBIOS_TABLE_HEADER* rec = nullptr;
  ASSERT_EQ(smbios()->GetNext(smbios(), &h, &type, &rec, nullptr), EFI_SUCCESS);
  EXPECT_EQ(h, s1);
  EXPECT_EQ(rec->Type, 9);
  ASSERT_EQ(smbios()->GetNext(smbios(), &h, &type, &rec, nullptr), EFI_SUCCESS);
  EXPECT_EQ(h, s2);
  EXPECT_EQ(smbios()->GetNext(smbios(), &h, &type, &rec, nullptr), EFI_NOT_FOUND);
  EXPECT_EQ(h, SMBIOS_HANDLE_PI_RESERVED);
  // Without a filter every record comes back.
  size_t n = 0;
  for (h = SMBIOS_HANDLE_PI_RESERVED; smbios()->GetNext(smbios(), &h, nullptr, &rec, nullptr) == EFI_SUCCESS;) ++n;
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(platform.Calls().Get("Smbios.GetNext"), 7u);
}

TEST_F(SmbiosTableTest, GetNextHandsOutTheTablesOwnCopy) {
  std::vector<uint8_t> uuid_fields(0x17, 0);  // type 1 with a zero UUID at offset 8
  EFI_SMBIOS_HANDLE h1 = AddOk(Record(1, uuid_fields, {}));
  EFI_SMBIOS_TYPE type = 1;
  EFI_SMBIOS_HANDLE h = SMBIOS_HANDLE_PI_RESERVED;
  EFI_SMBIOS_TABLE_HEADER* rec = nullptr;
  ASSERT_EQ(smbios()->GetNext(smbios(), &h, &type, &rec, nullptr), EFI_SUCCESS);
  reinterpret_cast<uint8_t*>(rec)[8] = 0x5A;
  EXPECT_EQ(platform.Smbios().Records()[0].bytes[8], 0x5A);
  EXPECT_EQ(platform.Smbios().Find(h1), rec);
}

TEST_F(SmbiosTableTest, RemoveTakesTheRecordOutAndUnknownHandlesAreViolations) {
  EFI_SMBIOS_HANDLE a = AddOk(Record(26, {0}, {}));
  EXPECT_EQ(smbios()->Remove(smbios(), a), EFI_SUCCESS);
  EXPECT_EQ(platform.Smbios().Count(), 0u);
  EXPECT_EQ(smbios()->Remove(smbios(), a), EFI_INVALID_PARAMETER);
  ExpectViolation("SMBIOS Remove of handle 0x0000");
}

TEST_F(SmbiosTableTest, TheRecordHoldingAnAddressIsFoundUntilItIsRemoved) {
  const EFI_SMBIOS_HANDLE a = AddOk(Record(9, {1, 2, 3}, {"A"}));
  const EFI_SMBIOS_HANDLE b = AddOk(Record(41, {1, 5}, {"BB", "CC"}));
  const auto* first = reinterpret_cast<const uint8_t*>(platform.Smbios().Find(a));
  const auto* second = reinterpret_cast<const uint8_t*>(platform.Smbios().Find(b));
  const size_t first_size = 7 + 2 + 1, second_size = 6 + 3 + 3 + 1;
  struct Probe {
    const uint8_t* address;
    const uint8_t* holder;  // null: no record holds it
    size_t size;
  };
  const std::vector<Probe> probes = {
      {first, first, first_size},         {first + first_size - 1, first, first_size},
      {first + first_size, nullptr, 0},  // the guard bytes after the record
      {second + 3, second, second_size},  {second + second_size - 1, second, second_size},
      {second + second_size, nullptr, 0}, {first - 1, nullptr, 0}};
  for (const Probe& p : probes) {
    size_t size = 0;
    EXPECT_EQ(platform.Smbios().RecordHolding(p.address, &size), p.holder) << static_cast<const void*>(p.address);
    EXPECT_EQ(size, p.size);
  }
  ASSERT_EQ(smbios()->Remove(smbios(), a), EFI_SUCCESS);
  size_t size = 0;
  EXPECT_EQ(platform.Smbios().RecordHolding(first + 1, &size), nullptr);
  EXPECT_EQ(platform.Smbios().RecordHolding(second + 1, &size), second);
  EXPECT_EQ(size, second_size);
}

TEST_F(SmbiosTableTest, UpdateStringIsAViolation) {
  EFI_SMBIOS_HANDLE h = 0;
  UINTN n = 1;
  char text[] = "x";
  EXPECT_EQ(smbios()->UpdateString(smbios(), &h, &n, text), EFI_UNSUPPORTED);
  ExpectViolation("UpdateString");
}

TEST_F(SmbiosTableTest, RefusesLengthBelowTheHeader) {
  std::vector<uint8_t> r = {9, 3, 0xFE, 0xFF, 0, 0};
  ExpectRefused(r, "Length 3 is below the 4-byte header");
}

TEST_F(SmbiosTableTest, RefusesAStringSetThatDoesNotEndInItsPoolBuffer) {
  VOID* buffer = nullptr;
  ASSERT_EQ(platform.Pool().Allocate(EfiBootServicesData, 12, &buffer), EFI_SUCCESS);
  auto* b = static_cast<uint8_t*>(buffer);
  const uint8_t bytes[12] = {41, 11, 0xFE, 0xFF, 1, 0, 0, 0, 0, 0, 0, 'A'};
  std::memcpy(b, bytes, 12);
  std::vector<uint8_t> copy(b, b + 12);
  const size_t before = platform.Smbios().Count();
  EFI_SMBIOS_HANDLE h = SMBIOS_HANDLE_PI_RESERVED;
  EXPECT_EQ(smbios()->Add(smbios(), nullptr, &h, reinterpret_cast<EFI_SMBIOS_TABLE_HEADER*>(b)), EFI_INVALID_PARAMETER);
  EXPECT_EQ(platform.Smbios().Count(), before);
  ExpectViolation("string set not ended within 12 bytes");
  platform.Pool().Free(buffer);
}

TEST_F(SmbiosTableTest, RefusesAStringSetThatDoesNotEndWithinTheBoundOutsidePool) {
  // Outside pool memory the scan stops after 4096 bytes: strings of 9 characters, never a double NUL.
  std::vector<uint8_t> r(5000, 'A');
  r[0] = 9, r[1] = 5, r[2] = 0xFE, r[3] = 0xFF, r[4] = 1;
  for (size_t i = 14; i < r.size(); i += 10) r[i] = 0;
  ExpectRefused(r, "string set not ended within 4096 bytes");
}

TEST_F(SmbiosTableTest, RefusesAStringOf64Characters) {
  ExpectRefused(Record(9, {1}, {std::string(64, 'x')}), "string 1 has 64 or more characters");
}

TEST_F(SmbiosTableTest, AcceptsAStringOf63Characters) {
  AddOk(Record(9, {1}, {std::string(63, 'x')}));
  EXPECT_EQ(platform.Smbios().Records()[0].strings[0].size(), 63u);
}

TEST_F(SmbiosTableTest, RefusesAnEmptyStringInsideTheSet) {
  std::vector<uint8_t> r = {9, 5, 0xFE, 0xFF, 1, 0, 'A', 0, 0};
  ExpectRefused(r, "empty string 1 inside the string set");
}

TEST_F(SmbiosTableTest, RefusesStringNumbersBeyondTheSet) {
  ExpectRefused(Record(9, {2}, {"JSLOT1"}), "field Slot Designation (offset 0x04) names string 2");
  ExpectRefused(Record(41, {1}, {}), "field Reference Designation (offset 0x04) names string 1");
  std::vector<uint8_t> system(0x17, 0);
  system[0x19 - 4] = 3;  // SKU Number
  ExpectRefused(Record(1, system, {"a", "b"}), "field SKU Number (offset 0x19) names string 3");
  // A type 39 record whose Asset Tag names a seventh string of a six-string set.
  std::vector<uint8_t> psu = {1, 1, 2, 3, 4, 7, 5, 6, 0, 0x80, 0xA2, 0x11, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  ExpectRefused(Record(39, psu, {"PSU1", "Name", "Maker", "SN", "PN", "Rev"}),
                "field Asset Tag Number (offset 0x09) names string 7 but the set holds 6 strings");
}

TEST_F(SmbiosTableTest, RefusesAdditionalInformationEntriesThatDoNotFit) {
  // One entry claiming 40 bytes in a 33-byte formatted area.
  std::vector<uint8_t> fields(29, 0);
  fields[0] = 1;
  fields[1] = 40;
  ExpectRefused(Record(40, fields, {}), "Additional Information entry 1 does not fit");
}

TEST_F(SmbiosTableTest, ChecksTypeFortyEntryStrings) {
  std::vector<uint8_t> fields(29, 0);
  fields[0] = 1;
  fields[1] = 28;
  fields[5] = 1;  // entry string 1, set empty
  ExpectRefused(Record(40, fields, {}), "Additional Information String");
}

TEST_F(SmbiosTableTest, InPlaceDamageIsReportedAtTheEnd) {
  EFI_SMBIOS_HANDLE h = AddOk(Record(9, {1}, {"JSLOT1"}));
  auto* rec = reinterpret_cast<uint8_t*>(platform.Smbios().Find(h));
  rec[4] = 2;  // now names a string the set lacks
  platform.FinishRun();
  ExpectViolation("SMBIOS record 0x0000 (type 9) no longer well formed");
}

TEST(SmbiosRecordCheck, MeasuresFormattedAreaAndStrings) {
  std::vector<uint8_t> none = Record(2, {}, {});
  EXPECT_EQ(sim::CheckSmbiosRecord(none.data(), none.size()).size, 6u);
  std::vector<uint8_t> two = Record(9, {1}, {"JSLOT1", "ab"});
  sim::SmbiosRecordCheck check = sim::CheckSmbiosRecord(two.data(), two.size());
  ASSERT_TRUE(check.ok) << check.problem;
  EXPECT_EQ(check.size, 5u + 7u + 3u + 1u);
  EXPECT_EQ(check.strings, (std::vector<std::string>{"JSLOT1", "ab"}));
}

TEST(SmbiosRecordCheck, SkipsStringFieldsBeyondLength) {
  // A short type 1 (SMBIOS 2.0, Length 8) has no SKU or Family fields.
  std::vector<uint8_t> r = Record(1, {1, 0, 0, 0}, {"M"});
  EXPECT_TRUE(sim::CheckSmbiosRecord(r.data(), r.size()).ok);
}

}  // namespace
