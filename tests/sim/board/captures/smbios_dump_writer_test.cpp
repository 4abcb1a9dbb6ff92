// The `dmidecode --dump-bin` layout: entry points, checksums, lengths, structure count, End-of-Table record.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "sim/board/captures/smbios_dump_writer.h"
#include "sim/dxe/smbios_record_check.h"

namespace {

using sim::BuildDmiDump;
using sim::EntryPointKind;

sim::SmbiosRecordView View(uint16_t handle, uint8_t type, uint8_t length, std::vector<std::string> strings) {
  std::vector<uint8_t> formatted(length, 0);
  formatted[0] = type;
  formatted[1] = length;
  return {handle, type, sim::BuildSmbiosRecord(formatted, strings), strings};
}

std::vector<sim::SmbiosRecordView> SampleTable() {
  return {View(0, 0, 0x18, {"vendor"}), View(7, 9, 0x11, {"JSLOT1"}), View(3, 2, 0x0F, {})};
}

uint8_t Sum(const std::vector<uint8_t>& b, size_t from, size_t count) {
  return static_cast<uint8_t>(std::accumulate(b.begin() + from, b.begin() + from + count, 0u));
}
uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + i];
  return v;
}

TEST(DmiDump, Smbios30EntryPointDescribesTheTableAtOffset0x20) {
  std::vector<uint8_t> dump = BuildDmiDump(SampleTable(), EntryPointKind::Smbios30);
  ASSERT_GE(dump.size(), 0x20u);
  EXPECT_EQ(std::memcmp(dump.data(), "_SM3_", 5), 0);
  EXPECT_EQ(dump[6], 0x18);
  EXPECT_EQ(Sum(dump, 0, 0x18), 0);
  EXPECT_EQ(dump[7], 3);
  EXPECT_EQ(Le(dump, 0x0C, 4), dump.size() - 0x20);  // table maximum size
  EXPECT_EQ(Le(dump, 0x10, 4), 0x20u);
  EXPECT_EQ(Le(dump, 0x14, 4), 0u);
  for (size_t i = 0x18; i < 0x20; ++i) EXPECT_EQ(dump[i], 0) << i;
}

TEST(DmiDump, Smbios21EntryPointCountsTheStructuresAndChecksBothHalves) {
  std::vector<uint8_t> dump = BuildDmiDump(SampleTable(), EntryPointKind::Smbios21);
  EXPECT_EQ(std::memcmp(dump.data(), "_SM_", 4), 0);
  EXPECT_EQ(dump[5], 0x1F);
  EXPECT_EQ(Sum(dump, 0, 0x1F), 0);
  EXPECT_EQ(std::memcmp(dump.data() + 0x10, "_DMI_", 5), 0);
  EXPECT_EQ(Sum(dump, 0x10, 0x0F), 0);
  EXPECT_EQ(Le(dump, 0x16, 2), dump.size() - 0x20);
  EXPECT_EQ(Le(dump, 0x18, 4), 0x20u);
  EXPECT_EQ(Le(dump, 0x1C, 2), 4u);         // three records and the End-of-Table record
  EXPECT_EQ(Le(dump, 0x08, 2), 0x18u + 8);  // the largest structure: type 0 with "vendor"
}

TEST(DmiDump, TableHoldsTheRecordsWithTheirHandlesThenEndOfTable) {
  std::vector<sim::SmbiosRecordView> table = SampleTable();
  table[1].bytes[2] = 0xFE;  // the handle in the copy's header is replaced by the table's handle
  table[1].bytes[3] = 0xFF;
  std::vector<uint8_t> dump = BuildDmiDump(table, EntryPointKind::Smbios30);
  size_t at = 0x20;
  for (const auto& r : table) {
    EXPECT_EQ(dump[at], r.type);
    EXPECT_EQ(Le(dump, at + 2, 2), r.handle);
    at += r.bytes.size();
  }
  ASSERT_EQ(dump.size(), at + 6);
  EXPECT_EQ(dump[at], 127);
  EXPECT_EQ(dump[at + 1], 4);
  EXPECT_EQ(Le(dump, at + 2, 2), 8u);  // one past the largest handle in use
  EXPECT_EQ(dump[at + 4], 0);
  EXPECT_EQ(dump[at + 5], 0);
}

TEST(DmiDump, ExistingEndOfTableIsNotRepeated) {
  std::vector<sim::SmbiosRecordView> table = SampleTable();
  table.push_back(View(9, 127, 4, {}));
  std::vector<uint8_t> dump = BuildDmiDump(table, EntryPointKind::Smbios21);
  EXPECT_EQ(Le(dump, 0x1C, 2), 4u);
}

TEST(DmiDump, EmptyTableStillEndsWithEndOfTable) {
  std::vector<uint8_t> dump = BuildDmiDump({}, EntryPointKind::Smbios30);
  ASSERT_EQ(dump.size(), 0x20u + 6);
  EXPECT_EQ(dump[0x20], 127);
}

}  // namespace
