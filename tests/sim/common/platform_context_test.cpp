// The platform context the host primitives and the simulated services reach: attaching and detaching, state
// kept per platform, and what happens when module code runs with no platform attached.
#include <gtest/gtest.h>

#include "hw/debug_stop.h"
#include "hw/mmio.h"
#include "sim/common/debug_stop_log.h"
#include "sim/common/platform_context.h"
#include "sim/dxe/dxe_platform.h"
#include "sim/dxe/unimplemented_service.h"
#include "sim/pei/pei_platform.h"
#include "sim/pei/trace_platform.h"
#include "tests/support/platform_checks.h"
#include "uefi/status.h"

namespace {

EFI_STATUS EFIAPI QuietListener(const EFI_PEI_SERVICES**, EFI_STATUS_CODE_TYPE, EFI_STATUS_CODE_VALUE, UINT32,
                                const EFI_GUID*, const EFI_STATUS_CODE_DATA*) {
  return EFI_SUCCESS;
}

void StopOnce(const char* message, uint32_t argument) {
  volatile UINT8 flag = 1;
  DebugStopPoll(&flag, message, &argument, 1);
}

// Takes (and so clears) what reached the unattached context, for the tests that provoke it.
std::vector<std::string> TakeUnattachedViolations() {
  sim::PlatformContext::Unattached().debug_stops().clear();
  return sim::PlatformContext::Unattached().violations().Take();
}

TEST(PlatformContextAttach, TheNewestAttachedContextIsCurrentUntilItDetaches) {
  sim::PlatformContext lower;
  sim::PlatformContext upper;
  lower.Attach();
  EXPECT_EQ(&sim::CurrentPlatform(), &lower);
  upper.Attach();
  EXPECT_EQ(&sim::CurrentPlatform(), &upper);
  upper.Detach();
  EXPECT_EQ(&sim::CurrentPlatform(), &lower);
  EXPECT_FALSE(upper.IsAttached());
  lower.Detach();
  EXPECT_TRUE(sim::IsUnattached(sim::CurrentPlatform()));
}

TEST(PlatformContextAttach, DetachingTheLowerContextFirstKeepsTheUpperCurrentAndUnlinksTheLower) {
  sim::PlatformContext lower;
  sim::PlatformContext upper;
  lower.Attach();
  upper.Attach();
  lower.Detach();
  EXPECT_EQ(&sim::CurrentPlatform(), &upper);
  upper.Detach();
  EXPECT_TRUE(sim::IsUnattached(sim::CurrentPlatform()));  // not the detached lower one
}

TEST(PlatformContextAttach, DestroyingAnAttachedContextDetachesIt) {
  {
    sim::PlatformContext context;
    context.Attach();
  }
  EXPECT_TRUE(sim::IsUnattached(sim::CurrentPlatform()));
}

TEST(PlatformContextAttachDeathTest, AttachingTheSameContextTwiceIsRefused) {
  EXPECT_DEATH(
      {
        sim::PlatformContext context;
        context.Attach();
        context.Attach();
      },
      "attached twice");
}

TEST(PlatformContextAttachDeathTest, APlatformCannotBeAttachedAgainWhileItIsAttached) {
  EXPECT_DEATH(
      {
        sim::DxePlatform platform;  // attached by its constructor
        platform.Attach();
      },
      "attached twice");
}

TEST(PlatformContextSeparation, ASecondDxePlatformStartsFromNothingTheFirstLeftBehind) {
  {
    sim::DxePlatform first;
    first.Pcd().Set32(180, 7);
    first.BootServices()->Stall(25);
    (void)MmioRead32(0x1000);  // stray access: a violation of the first platform
    StopOnce("first %d", 1);
    EXPECT_EQ(first.Clock().NowMicroseconds(), 25u);
    EXPECT_TRUE(sim_test::TakeViolation(first.Violations(), "outside any device"));
    EXPECT_EQ(first.debug_stops().size(), 1u);
  }
  sim::DxePlatform second;
  EXPECT_EQ(second.Clock().NowMicroseconds(), 0u);
  EXPECT_TRUE(second.debug_stops().empty());
  EXPECT_TRUE(second.Violations().Empty()) << second.Violations().Joined();
  EXPECT_EQ(second.Pcd().Protocol()->Get32(180), 0u);  // the first platform's token is not here
  EXPECT_TRUE(sim_test::TakeViolation(second.Violations(), "PCD token 180"));
  EXPECT_TRUE(TakeUnattachedViolations().empty());
}

TEST(PlatformContextSeparation, ASecondPeiPlatformAnswersItsOwnIdtAndKeepsItsOwnStops) {
  uintptr_t first_idt = 0;
  {
    sim::PeiPlatform first;
    first_idt = ReadIdtBase();
    EXPECT_EQ(first_idt, first.idt_base());
    StopOnce("first %d", 1);
    EXPECT_EQ(sim::DebugStops().size(), 1u);
    first.pcds().SetValue(44, 0x1234);
  }
  sim::PeiPlatform second;
  EXPECT_EQ(ReadIdtBase(), second.idt_base());
  EXPECT_TRUE(sim::DebugStops().empty());
  StopOnce("second %d", 2);
  ASSERT_EQ(second.debug_stops().size(), 1u);
  EXPECT_EQ(second.debug_stops()[0].arguments, std::vector<uint32_t>{2});
  EXPECT_TRUE(TakeUnattachedViolations().empty());
}

TEST(PlatformContextSeparation, StackedPlatformsKeepTheirViolationsApart) {
  sim::DxePlatform lower;
  {
    sim::DxePlatform upper;
    (void)MmioRead8(0x2000);
    EXPECT_TRUE(sim_test::TakeViolation(upper.Violations(), "outside any device"));
  }
  EXPECT_TRUE(lower.Violations().Empty()) << lower.Violations().Joined();
  (void)MmioRead8(0x2000);
  EXPECT_TRUE(sim_test::TakeViolation(lower.Violations(), "outside any device"));
}

TEST(NoPlatformAttached, AnMmioAccessIsReportedAndAReadAnswersAllOnes) {
  ASSERT_TRUE(sim::IsUnattached(sim::CurrentPlatform()));
  TakeUnattachedViolations();
  EXPECT_EQ(MmioRead32(0xFE200010u), 0xFFFFFFFFu);
  EXPECT_EQ(MmioRead8(0xFE200010u), 0xFFu);
  MmioWrite16(0xFE200020u, 0x1234);
  const std::vector<std::string> reported = TakeUnattachedViolations();
  ASSERT_EQ(reported.size(), 3u);
  EXPECT_EQ(reported[0], "MMIO read of 4 bytes at 0xFE200010 (no simulated platform is attached)");
  EXPECT_EQ(reported[2], "MMIO write of 2 bytes at 0xFE200020 (no simulated platform is attached)");
}

TEST(NoPlatformAttached, ReadIdtBaseIsReportedAndAnswersNoIdt) {
  TakeUnattachedViolations();
  EXPECT_EQ(ReadIdtBase(), 0u);
  const std::vector<std::string> reported = TakeUnattachedViolations();
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_NE(reported[0].find("ReadIdtBase"), std::string::npos);
}

TEST(NoPlatformAttached, AnUnimplementedServiceIsReportedInsteadOfStopping) {
  TakeUnattachedViolations();
  using NoArgs = UINTN(EFIAPI*)();
  auto service = reinterpret_cast<NoArgs>(sim::UnimplementedService("BootServices.SetTimer"));
  EXPECT_EQ(service(), EFI_UNSUPPORTED);
  const std::vector<std::string> reported = TakeUnattachedViolations();
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_NE(reported[0].find("BootServices.SetTimer"), std::string::npos);
}

TEST(NoPlatformAttached, ThePcdPpiOfAGonePlatformIsReportedAndAnswersZero) {
  TakeUnattachedViolations();
  PCD_PPI ppi;
  {
    sim::PeiPlatform platform;
    ppi = *platform.pcds().ppi();
  }
  EXPECT_EQ(ppi.Get64(44), 0u);
  EXPECT_EQ(ppi.GetPtr(60), nullptr);
  const std::vector<std::string> reported = TakeUnattachedViolations();
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_NE(reported[0].find("no PEI platform is attached"), std::string::npos);
}

TEST(NoPlatformAttached, ADebuggerStopIsLoggedInTheUnattachedContextOnly) {
  TakeUnattachedViolations();
  StopOnce("alone %d", 5);
  ASSERT_EQ(sim::PlatformContext::Unattached().debug_stops().size(), 1u);
  EXPECT_EQ(sim::TakeDebugStops()[0].arguments, std::vector<uint32_t>{5});
  {
    sim::PeiPlatform platform;
    StopOnce("attached %d", 6);
    EXPECT_EQ(platform.debug_stops().size(), 1u);
  }
  EXPECT_TRUE(sim::PlatformContext::Unattached().debug_stops().empty());
}

TEST(StatusCodeHandlerPpi, ServesTheHandlerOfTheAttachedPeiPlatformOnly) {
  sim::TracePlatform platform;
  EFI_PEI_RSC_HANDLER_PPI* ppi = platform.handler().ppi();
  EFI_PEI_RSC_HANDLER_CALLBACK listener = &QuietListener;
  {
    sim::DxePlatform on_top;  // a DXE platform attached over the PEI one
    EXPECT_EQ(ppi->Register(listener), EFI_NOT_READY);
  }
  EXPECT_EQ(ppi->Register(listener), EFI_SUCCESS);
  EXPECT_EQ(platform.handler().listeners().size(), 1u);
}

}  // namespace
