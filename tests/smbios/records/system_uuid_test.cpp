// The UUID time fields built from the PCD minutes value.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "smbios/records/system_uuid.h"

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

}  // namespace
