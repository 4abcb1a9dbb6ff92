// Reading captured SMBIOS tables: both entry points, dumps and the sysfs pair, and each bound of the walk at the
// bound and one past it.
#include "sim/board/captures/smbios_table_reader.h"

#include <gtest/gtest.h>

#include "sim/board/captures/capture_error.h"
#include "sim/board/captures/smbios_dump_writer.h"
#include "sim/dxe/smbios_record_check.h"
#include "tests/sim/board/captures/capture_texts.h"

namespace {

using sim::EntryPointKind;

std::vector<uint8_t> Formatted(uint8_t type, uint8_t length, uint8_t first_string = 0) {
  std::vector<uint8_t> f(length, 0);
  f[0] = type, f[1] = length;
  if (length > 4) f[4] = first_string;
  return f;
}

std::vector<sim::SmbiosRecordView> Sample() {
  return {{0x0000, 0, sim::BuildSmbiosRecord(Formatted(0, 0x18, 1), {"Vendor"}), {"Vendor"}},
          {0x0100, 1, sim::BuildSmbiosRecord(Formatted(1, 0x1B, 1), {"Maker", "Unused"}), {"Maker", "Unused"}},
          {0x0042, 200, sim::BuildSmbiosRecord(Formatted(200, 4), {}), {}}};
}

TEST(SmbiosTableReader, DumpsOfBothEntryPointsGiveTheRecordsWithTheirHandles) {
  for (EntryPointKind kind : {EntryPointKind::Smbios21, EntryPointKind::Smbios30}) {
    const auto records = sim::ReadSmbiosDump(sim::BuildDmiDump(Sample(), kind), "d");
    ASSERT_EQ(records.size(), 3u);
    for (size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(records[i].handle, Sample()[i].handle);
      EXPECT_EQ(sim::BuildSmbiosRecord(records[i].formatted, records[i].strings)[0], Sample()[i].type);
      EXPECT_EQ(records[i].strings, Sample()[i].strings);
    }
    std::vector<uint8_t> with_handle = Formatted(1, 0x1B, 1);
    with_handle[3] = 0x01;  // handle 0x0100 in the table's bytes
    EXPECT_EQ(records[1].formatted, with_handle);
    EXPECT_EQ(records[2].origin, "d offset 0x69");
  }
}

TEST(SmbiosTableReader, TheSysfsPairReadsTheSameRecords) {
  for (EntryPointKind kind : {EntryPointKind::Smbios21, EntryPointKind::Smbios30}) {
    const std::vector<uint8_t> dump = sim::BuildDmiDump(Sample(), kind);
    const std::vector<uint8_t> entry(dump.begin(), dump.begin() + 0x20), dmi(dump.begin() + 0x20, dump.end());
    EXPECT_EQ(sim::ReadSmbiosSysfs(entry, dmi, "s").size(), 3u);
    // The 2.1 table's length is exact; the 3.0 length is a maximum.
    std::vector<uint8_t> shorter(dmi.begin(), dmi.end() - 6);
    if (kind == EntryPointKind::Smbios30) {
      EXPECT_EQ(sim::ReadSmbiosSysfs(entry, shorter, "s").size(), 3u) << "no end-of-table needed at the end";
      std::vector<uint8_t> longer = dmi;
      longer.push_back(0);
      EXPECT_THROW(sim::ReadSmbiosSysfs(entry, longer, "s"), sim::CaptureError);
    } else {
      try {
        sim::ReadSmbiosSysfs(entry, shorter, "s");
        ADD_FAILURE() << "a short DMI file accepted";
      } catch (const sim::CaptureError& e) {
        EXPECT_NE(std::string(e.what()).find("DMI: holds "), std::string::npos) << e.what();
      }
    }
  }
}

TEST(SmbiosTableReader, The21StructureCountEndsTheTableAndLength1EIsAccepted) {
  std::vector<uint8_t> dump = sim::BuildDmiDump(Sample(), EntryPointKind::Smbios21);
  // Count 2, with both checksums kept.
  dump[0x1C] = 2;
  dump[0x15] = static_cast<uint8_t>(dump[0x15] + 2);
  dump[0x04] = static_cast<uint8_t>(dump[0x04] + 2 - 2);
  EXPECT_EQ(sim::ReadSmbiosDump(dump, "d").size(), 2u);
  dump[0x05] = 0x1E;
  dump[0x04] = static_cast<uint8_t>(dump[0x04] + 1 + dump[0x1E]);
  EXPECT_EQ(sim::ReadSmbiosEntryPoint(dump).length, 0x1E);
}

// A table of one structure given as raw bytes, walked with a 3.0 entry point.
std::vector<sim::BoardSmbiosRecord> Walk(const std::vector<uint8_t>& table) {
  sim::SmbiosEntryPointFields ep;
  ep.is_30 = true;
  return sim::ReadSmbiosStructures(table, ep, 0x20, "t");
}

// One structure whose formatted area names one string of `n` characters.
std::vector<uint8_t> WithString(size_t n) {
  std::vector<uint8_t> t = {200, 5, 1, 0, 1};
  t.insert(t.end(), n, 'a');
  t.insert(t.end(), {0, 0});
  return t;
}

struct WalkRow {
  const char* name;
  std::vector<uint8_t> table;
  size_t records;       // when accepted
  const char* problem;  // when refused
  size_t offset;
};

class SmbiosWalkBounds : public ::testing::TestWithParam<WalkRow> {};

TEST_P(SmbiosWalkBounds, AcceptedAtTheBoundRefusedPastIt) {
  const WalkRow& row = GetParam();
  if (row.problem == nullptr) {
    EXPECT_EQ(Walk(row.table).size(), row.records) << row.name;
    return;
  }
  try {
    Walk(row.table);
    ADD_FAILURE() << row.name << ": accepted";
  } catch (const sim::CaptureError& e) {
    EXPECT_NE(std::string(e.what()).find(row.problem), std::string::npos) << row.name << ": " << e.what();
    EXPECT_EQ(e.Where(), row.offset) << row.name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SmbiosWalkBounds,
    ::testing::Values(WalkRow{"empty table", {}, 0, nullptr, 0},
                      WalkRow{"structure exactly to the end", {200, 4, 1, 0, 0, 0}, 1, nullptr, 0},
                      WalkRow{"string set one byte short", {200, 4, 1, 0, 0}, 0, "string set runs past", 0x20},
                      WalkRow{"strings exactly to the end", {200, 5, 1, 0, 1, 'a', 0, 0}, 1, nullptr, 0},
                      WalkRow{"strings one byte short", {200, 5, 1, 0, 1, 'a', 0}, 0, "string set runs past", 0x20},
                      WalkRow{"header of 3 bytes", {200, 4, 1}, 0, "header at 0x20 runs past", 0x20},
                      WalkRow{
                          "formatted area one byte past", {200, 8, 1, 0, 0, 0, 0}, 0, "formatted area runs past", 0x20},
                      WalkRow{"length 4", {200, 4, 1, 0, 0, 0}, 1, nullptr, 0},
                      WalkRow{"length 3", {200, 3, 1, 0, 0, 0}, 0, "length 3 below 4", 0x21},
                      WalkRow{"handle 0xFEFF", {200, 4, 0xFF, 0xFE, 0, 0}, 1, nullptr, 0},
                      WalkRow{"handle 0xFF00", {200, 4, 0x00, 0xFF, 0, 0}, 0, "handle is reserved", 0x22},
                      WalkRow{"handle twice", {200, 4, 1, 0, 0, 0, 201, 4, 1, 0, 0, 0}, 0, "handle used twice", 0x28},
                      WalkRow{"end of table stops the walk", {127, 4, 1, 0, 0, 0, 3}, 0, nullptr, 0},
                      WalkRow{"a string of 63 characters", WithString(63), 1, nullptr, 0},
                      WalkRow{"a string of 64 characters", WithString(64), 0, "64", 0x20}),
    [](const ::testing::TestParamInfo<WalkRow>& info) { return capture_test::RowName(info.param.name); });

struct EntryRow {
  const char* name;
  size_t at;                  // byte changed
  int delta;                  // added to it
  size_t offset21, offset30;  // where the error is reported
  const char* problem;
};

class SmbiosEntryPointErrors : public ::testing::TestWithParam<std::tuple<EntryPointKind, EntryRow>> {};

TEST_P(SmbiosEntryPointErrors, Refused) {
  const auto& [kind, row] = GetParam();
  std::vector<uint8_t> dump = sim::BuildDmiDump(Sample(), kind);
  dump[row.at] = static_cast<uint8_t>(dump[row.at] + row.delta);
  try {
    sim::ReadSmbiosDump(dump, "d");
    ADD_FAILURE() << row.name << ": accepted";
  } catch (const sim::CaptureError& e) {
    EXPECT_NE(std::string(e.what()).find(row.problem), std::string::npos) << row.name << ": " << e.what();
    EXPECT_EQ(e.Where(), kind == EntryPointKind::Smbios21 ? row.offset21 : row.offset30) << row.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Both, SmbiosEntryPointErrors,
                         ::testing::Combine(::testing::Values(EntryPointKind::Smbios21, EntryPointKind::Smbios30),
                                            ::testing::Values(EntryRow{"anchor", 0, 1, 0, 0, "no SMBIOS entry point"},
                                                              EntryRow{"a checksummed byte", 0x08, 1, 0x04, 0x05,
                                                                       "checksum does not match"})));

TEST(SmbiosTableReader, EachEntryPointsOwnFieldsAreChecked) {
  auto refused = [](std::vector<uint8_t> dump, const char* problem) {
    try {
      sim::ReadSmbiosDump(dump, "d");
      return std::string("accepted");
    } catch (const sim::CaptureError& e) {
      return std::string(e.what()).find(problem) != std::string::npos ? std::string("ok") : std::string(e.what());
    }
  };
  std::vector<uint8_t> d21 = sim::BuildDmiDump(Sample(), EntryPointKind::Smbios21);
  std::vector<uint8_t> d30 = sim::BuildDmiDump(Sample(), EntryPointKind::Smbios30);
  auto moved = [](std::vector<uint8_t> d, size_t at, int delta, size_t checksum) {
    d[at] = static_cast<uint8_t>(d[at] + delta);
    d[checksum] = static_cast<uint8_t>(d[checksum] - delta);
    return d;
  };
  EXPECT_EQ(refused(moved(d21, 0x18, 1, 0x15), "table address 0x21"), "ok");
  EXPECT_EQ(refused(moved(d30, 0x10, 1, 0x05), "table address 0x21"), "ok");
  EXPECT_EQ(refused(moved(d21, 0x16, 1, 0x15), "runs past the end of the file"), "ok");
  EXPECT_EQ(refused(moved(d30, 0x0C, 1, 0x05), "runs past the end of the file"), "ok");
  EXPECT_EQ(refused(moved(d21, 0x1E, 1, 0x04), "intermediate checksum"), "ok");
  EXPECT_EQ(refused(moved(d21, 0x10, 1, 0x15), "without its `_DMI_`"), "ok");
  EXPECT_EQ(refused(moved(d21, 0x05, 1, 0x04), "2.1 entry point length"), "ok");
  EXPECT_EQ(refused(moved(d30, 0x06, -1, 0x05), "3.0 entry point length"), "ok");
  EXPECT_EQ(refused(std::vector<uint8_t>(d30.begin(), d30.begin() + 0x17), "cut short"), "ok");
  EXPECT_EQ(refused(std::vector<uint8_t>(d21.begin(), d21.begin() + 0x1E), "cut short"), "ok");
  EXPECT_EQ(refused({}, "no SMBIOS entry point"), "ok");
}

}  // namespace
