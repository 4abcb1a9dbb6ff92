// The lent regions of an image: nesting, revocation, sources that follow their owner, and the range checks
// (a range across regions, one running past them, a write into a read-only region, a wrapping range).
#include "sim/image/guest_reach.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "sim/common/hex_text.h"

namespace {

class Reach : public ::testing::Test {
 protected:
  void SetUp() override {
    reach.Lend(At(0), 64, false, "the table");
    reach.Lend(At(16), 16, true, "a field inside it");
    reach.Lend(At(64), 32, true, "the buffer after it");
  }
  uint64_t At(size_t offset) { return reinterpret_cast<uintptr_t>(bytes + offset); }
  uint8_t bytes[256] = {};
  sim::GuestReach reach;
};

TEST_F(Reach, TheInnermostRegionHoldingAnAddressAnswers) {
  EXPECT_EQ(reach.Find(At(20))->name, "a field inside it");
  EXPECT_EQ(reach.Find(At(40))->name, "the table");  // past the nested region, back in the outer one
  EXPECT_EQ(reach.Find(At(95))->name, "the buffer after it");
  EXPECT_FALSE(reach.Find(At(96)));
}

TEST_F(Reach, ARangeMayCrossAdjacentRegionsButNotLeaveThem) {
  EXPECT_EQ(reach.Check(At(8), 80, false), "");
  EXPECT_NE(reach.Check(At(90), 8, false).find("of the range lies in nothing the platform lent"), std::string::npos);
  EXPECT_NE(reach.Check(At(200), 1, false).find("lies in nothing the platform lent"), std::string::npos);
  EXPECT_EQ(reach.Check(At(200), 0, false), "");  // an empty range touches nothing
}

TEST_F(Reach, AWriteNeedsEveryByteWritable) {
  EXPECT_EQ(reach.Check(At(16), 16, true), "");
  EXPECT_NE(reach.Check(At(12), 8, true).find("lies in the table, which the image may only read"), std::string::npos);
  EXPECT_NE(reach.Check(At(30), 4, true).find("lies in the table"), std::string::npos);
  const uint32_t v = 7;
  EXPECT_FALSE(reach.Write(At(0), &v, 4));
  EXPECT_EQ(bytes[0], 0);
  EXPECT_TRUE(reach.Write(At(64), &v, 4));
  EXPECT_EQ(bytes[64], 7);
}

TEST_F(Reach, CopiesInsideOneRegionAndAcrossRegionsKeepEveryRule) {
  const uint64_t v = 0x1122334455667788ull;
  EXPECT_TRUE(reach.Write(At(16), &v, 8));  // inside the writable field
  EXPECT_EQ(bytes[16], 0x88);
  EXPECT_FALSE(reach.Write(At(28), &v, 8));  // from the field on into the read-only table
  EXPECT_EQ(bytes[28], 0);
  bytes[60] = 0xAA;
  bytes[64] = 0xBB;
  uint8_t out[8] = {};
  EXPECT_TRUE(reach.Read(At(60), out, 8));  // the table, then the buffer after it
  EXPECT_EQ(out[0], 0xAA);
  EXPECT_EQ(out[4], 0xBB);
  EXPECT_FALSE(reach.Read(At(92), out, 8));  // past the buffer's end
}

TEST_F(Reach, ARangeThatWrapsIsRefused) {
  EXPECT_NE(reach.Check(At(8), ~uint64_t{0}, false).find("wraps around"), std::string::npos);
}

TEST_F(Reach, ARevokedRegionIsOutOfReach) {
  reach.Revoke(At(64));
  EXPECT_FALSE(reach.Find(At(70)));
  uint8_t out = 0;
  EXPECT_FALSE(reach.Read(At(70), &out, 1));
}

TEST_F(Reach, ASourceAnswersForWhatItsOwnerHoldsNow) {
  bool live = true;
  reach.AddSource([&](uint64_t address) -> std::optional<sim::ReachRegion> {
    if (!live || address < At(128) || address >= At(160)) return std::nullopt;
    return sim::ReachRegion{address, At(160), true, "a live buffer", reinterpret_cast<const uint8_t*>(address)};
  });
  EXPECT_EQ(reach.Check(At(130), 30, true), "");
  EXPECT_NE(reach.Check(At(130), 31, true), "");
  live = false;
  EXPECT_NE(reach.Check(At(130), 1, false), "");
}

TEST_F(Reach, ASourceNamesItsRegionWhereAMessageNeedsItAndNotForEachAccess) {
  std::vector<bool> named;
  reach.AddSource([&](uint64_t address, bool name) -> std::optional<sim::ReachRegion> {
    if (address < At(128) || address >= At(160)) return std::nullopt;
    named.push_back(name);
    return sim::ReachRegion{At(128), At(160), false, name ? "a read-only buffer" : "", bytes + 128};
  });
  bytes[130] = 0x5A;
  uint8_t out[4] = {};
  EXPECT_TRUE(reach.Read(At(130), out, 4));
  EXPECT_EQ(out[0], 0x5A);
  EXPECT_EQ(named, std::vector<bool>{false});
  EXPECT_EQ(reach.Find(At(131))->name, "a read-only buffer");
  EXPECT_EQ(reach.Check(At(130), 4, true),
            sim::Hex(At(130)) + " lies in a read-only buffer, which the image may only read");
  EXPECT_FALSE(reach.Write(At(130), out, 4));
  EXPECT_EQ(bytes[131], 0);
}

// Lookups remember the region they found last; a lend inside it, a revocation or going back to a copy of the
// regions must answer as if nothing were remembered.
TEST_F(Reach, WhatALookupRemembersNeverOutlivesAChangeOfTheRegions) {
  EXPECT_NE(reach.Check(At(4), 4, true), "");  // the read-only table, now remembered
  reach.Lend(At(8), 8, true, "a field lent later");
  EXPECT_EQ(reach.Check(At(10), 4, true), "");
  EXPECT_EQ(reach.Find(At(10))->name, "a field lent later");
  EXPECT_EQ(reach.Find(At(4))->name, "the table");

  const sim::GuestReach kept = reach;
  reach.Lend(At(200), 16, true, "lent after the copy");
  EXPECT_EQ(reach.Check(At(200), 16, true), "");
  reach = kept;
  EXPECT_NE(reach.Check(At(200), 16, false).find("lies in nothing the platform lent"), std::string::npos);
  uint8_t out = 0;
  EXPECT_FALSE(reach.Read(At(204), &out, 1));

  EXPECT_EQ(reach.Check(At(70), 4, true), "");  // the buffer, now remembered
  reach.Revoke(At(64));
  EXPECT_FALSE(reach.Read(At(70), &out, 1));
  EXPECT_FALSE(reach.Find(At(70)));

  EXPECT_FALSE(reach.Read(At(100), &out, 1));  // nothing lent from here on, now remembered
  EXPECT_FALSE(reach.Read(At(110), &out, 1));
  bytes[120] = 0x3C;
  reach.Lend(At(120), 4, false, "lent into the gap");
  EXPECT_TRUE(reach.Read(At(120), &out, 1));
  EXPECT_EQ(out, 0x3C);
  EXPECT_EQ(reach.Find(At(123))->name, "lent into the gap");
  EXPECT_FALSE(reach.Read(At(110), &out, 1));
}

TEST(ReachElsewhere, BytesLentAtAnotherGuestAddressAreReadFromTheirHostCopy) {
  const uint8_t flash[4] = {1, 2, 3, 4};
  sim::GuestReach reach;
  reach.Lend(0xFFF00000, sizeof flash, false, "flash", flash);
  uint8_t out[2] = {};
  ASSERT_TRUE(reach.Read(0xFFF00002, out, 2));
  EXPECT_EQ(out[0], 3);
  EXPECT_EQ(out[1], 4);
}

}  // namespace
