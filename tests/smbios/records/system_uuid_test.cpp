// The UUID time fields built from the PCD minutes value, and the fill's refusals of records it must not write.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "sim/dxe/protocol_names.h"
#include "smbios/records/system_uuid.h"
#include "tests/support/driver_test_platform.h"

namespace {

using Uuid = std::array<uint8_t, 16>;

TEST(UuidTimestamp, OneMinuteGivesTheKnownTimeVersionAndVariant) {
  Uuid u{};
  u.fill(0xAA);
  ASSERT_TRUE(WriteUuidTimestamp(1, u.data()));
  // Bytes 0..9 are written (the clock sequence too); the node stays.
  const Uuid want = {0x00, 0x86, 0xEE, 0x79, 0xCF, 0x43, 0xCF, 0x11, 0x80, 0x00, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(u, want);
}

TEST(UuidTimestamp, ZeroAndSixteenHundredMeanNoTime) {
  for (uint32_t minutes : {0u, 960u, 2400u}) {
    Uuid u{};
    u.fill(0xAA);
    EXPECT_FALSE(WriteUuidTimestamp(minutes, u.data())) << minutes;
    for (uint8_t b : u) EXPECT_EQ(b, 0xAA) << minutes;
  }
}

TEST(UuidTimestamp, LargestValueFitsAndKeepsVersionOne) {
  Uuid u{};
  ASSERT_TRUE(WriteUuidTimestamp(0xFFFFFFFFu, u.data()));
  const uint64_t t = (0xFFFFFFFFull + 217329120ull) * 600000000ull;
  for (int i = 0; i < 6; ++i) EXPECT_EQ(u[i], static_cast<uint8_t>(t >> (8 * i)));
  EXPECT_EQ(u[6], static_cast<uint8_t>(t >> 48));
  EXPECT_EQ(u[7], static_cast<uint8_t>(((t >> 56) & 0x0F) | 0x10));
  EXPECT_EQ(u[8], 0x80);
  EXPECT_EQ(u[15], 0x00);  // the node is not touched
}

// The type 1 record as GetNext hands it over, in a zeroed 64-byte buffer: the record's Length, and what GetNext
// returns with it. The buffer's bytes after a short record are zero, as in a table kept in one zeroed arena, so
// a UUID field read past the record's end would look unset.
struct HandedRecord {
  EFI_STATUS status;
  uint8_t length;
  bool written;       // the UUID field (bytes 8..23) is filled; otherwise the whole buffer stays as it was
  bool pcd = true;    // the PCD protocol is there (without it no time fields, and no node here: nothing changes)
  bool null = false;  // GetNext answers success with a null record
};

std::vector<uint8_t> handed_buffer;
EFI_STATUS handed_status = EFI_SUCCESS;
bool handed_null = false;
EFI_STATUS EFIAPI HandOverBuffer(const EFI_SMBIOS_PROTOCOL*, EFI_SMBIOS_HANDLE* handle, EFI_SMBIOS_TYPE*,
                                 EFI_SMBIOS_TABLE_HEADER** record, EFI_HANDLE*) {
  *handle = 1;
  *record = handed_null ? nullptr : reinterpret_cast<EFI_SMBIOS_TABLE_HEADER*>(handed_buffer.data());
  return handed_status;
}

class UuidFillTarget : public driver_test::SlotDriverTest, public ::testing::WithParamInterface<HandedRecord> {};

TEST_P(UuidFillTarget, OnlyARecordHandedOverWithSuccessAndRoomForTheFieldIsWritten) {
  const HandedRecord row = GetParam();
  Attach({});  // an empty bus: no onboard controller
  handed_buffer.assign(64, 0);
  handed_buffer[0] = 1;
  handed_buffer[1] = row.length;
  handed_buffer[2] = 1;
  handed_status = row.status;
  handed_null = row.null;
  platform.Pcd().Set32(sim::kPcdUuidTimestamp, 1);
  if (!row.pcd) platform.MarkProtocolAbsent(*sim::ProtocolGuidByName("pcd"));
  platform.Smbios().Protocol()->GetNext = &HandOverBuffer;
  const std::vector<uint8_t> before = handed_buffer;
  FillSystemUuid();
  std::vector<uint8_t> want = before;
  if (row.written) {
    // The time fields for one minute; no onboard controller, so the node stays zero.
    const uint8_t time[] = {0x00, 0x86, 0xEE, 0x79, 0xCF, 0x43, 0xCF, 0x11, 0x80, 0x00};
    std::copy(std::begin(time), std::end(time), want.begin() + SystemUuidOffset);
  }
  EXPECT_EQ(handed_buffer, want);
}

INSTANTIATE_TEST_SUITE_P(Rows, UuidFillTarget,
                         ::testing::Values(HandedRecord{EFI_SUCCESS, 0x1B, true}, HandedRecord{EFI_SUCCESS, 0x18, true},
                                           HandedRecord{EFI_SUCCESS, 0x17, false},
                                           HandedRecord{EFI_SUCCESS, 0x08, false},
                                           HandedRecord{EFI_NOT_FOUND, 0x1B, false},
                                           HandedRecord{EFI_DEVICE_ERROR, 0x18, false},
                                           HandedRecord{EFI_SUCCESS, 0x1B, false, false},
                                           HandedRecord{EFI_SUCCESS, 0x1B, false, true, true}));

}  // namespace
