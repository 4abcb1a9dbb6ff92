// PCD tokens through the PCD protocol: typed values, pointer tokens and their sizes, unknown tokens.
#include <gtest/gtest.h>

#include "sim/dxe/pcd_store.h"
#include "tests/support/platform_checks.h"

namespace {

using sim_test::PlatformTest;

class PcdTest : public PlatformTest {
 protected:
  PCD_PROTOCOL* pcd() { return platform.Pcd().Protocol(); }
};

TEST_F(PcdTest, ReadsTheDriversTokens) {
  platform.Pcd().Set64(sim::kPcdEcamBase, 0x80000000ull);
  platform.Pcd().Set32(sim::kPcdUuidTimestamp, 16000000u);
  platform.Pcd().SetPointer(sim::kPcdSocketBusLayout, std::vector<uint8_t>(72, 0x11));
  EXPECT_EQ(pcd()->Get64(44), 0x80000000ull);
  EXPECT_EQ(pcd()->Get32(180), 16000000u);
  EXPECT_EQ(pcd()->GetSize(30), 72u);
  const auto* layout = static_cast<const uint8_t*>(pcd()->GetPtr(30));
  ASSERT_NE(layout, nullptr);
  EXPECT_EQ(layout[71], 0x11);
  EXPECT_EQ(platform.Calls().Get("Pcd.GetPtr"), 1u);
}

TEST_F(PcdTest, EmptyPointerTokenHasSizeZeroAndAValidPointer) {
  platform.Pcd().SetPointer(30, {});
  EXPECT_EQ(pcd()->GetSize(30), 0u);
  EXPECT_NE(pcd()->GetPtr(30), nullptr);
}

TEST_F(PcdTest, NumericTokenSizeIsItsWidth) {
  platform.Pcd().Set16(7, 0xBEEF);
  EXPECT_EQ(pcd()->Get16(7), 0xBEEF);
  EXPECT_EQ(pcd()->GetSize(7), 2u);
}

TEST_F(PcdTest, UnknownTokenIsAViolation) {
  EXPECT_EQ(pcd()->Get32(99), 0u);
  ExpectViolation("Pcd.Get32 of PCD token 99, which the board does not define");
}

TEST_F(PcdTest, ReadingTheWrongKindIsAViolation) {
  platform.Pcd().Set64(44, 5);
  EXPECT_EQ(pcd()->Get32(44), 0u);
  ExpectViolation("Pcd.Get32 of PCD token 44, which holds a 64-bit value");
  EXPECT_EQ(pcd()->GetPtr(44), nullptr);
  ExpectViolation("Pcd.GetPtr of PCD token 44");
}

TEST_F(PcdTest, UnusedSlotsAreViolations) {
  pcd()->SetSku(1);
  ExpectViolation("Pcd.SetSku called");
}

}  // namespace
