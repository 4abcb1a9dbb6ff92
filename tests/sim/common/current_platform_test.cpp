// Which platform module code reaches: the newest live one, and the one before it once the newest is gone.
#include <gtest/gtest.h>

#include "sim/common/platform_context.h"
#include "tests/support/platform_checks.h"

namespace {

TEST(CurrentPlatform, NewestLivePlatformIsCurrentAndTheOlderOneReturns) {
  sim::DxePlatform outer;
  outer.Pcd().Set32(180, 1);
  PCD_PROTOCOL* outer_pcd = outer.Pcd().Protocol();
  EXPECT_EQ(sim::DxePlatform::Current(), &outer);
  {
    sim::DxePlatform inner;
    inner.Pcd().Set32(180, 2);
    EXPECT_EQ(sim::DxePlatform::Current(), &inner);
    EXPECT_EQ(&sim::CurrentPlatform().bus(), &inner.Bus());
    EXPECT_EQ(inner.Pcd().Protocol()->Get32(180), 2u);
    inner.BootServices()->Stall(10);
    EXPECT_EQ(inner.Clock().NowMicroseconds(), 10u);
    EXPECT_EQ(outer.Clock().NowMicroseconds(), 0u);
  }
  EXPECT_EQ(sim::DxePlatform::Current(), &outer);
  EXPECT_EQ(&sim::CurrentPlatform().bus(), &outer.Bus());
  EXPECT_EQ(outer_pcd->Get32(180), 1u);
  using NoArgs = EFI_STATUS(EFIAPI*)();
  reinterpret_cast<NoArgs>(outer.BootServices()->SetTimer)();
  EXPECT_TRUE(sim_test::TakeViolation(outer.Violations(), "BootServices.SetTimer"));
}

TEST(CurrentPlatform, NoPlatformNoCurrent) {
  { sim::DxePlatform only; }
  EXPECT_EQ(sim::DxePlatform::Current(), nullptr);
  EXPECT_TRUE(sim::IsUnattached(sim::CurrentPlatform()));
}

}  // namespace
