// The PEI image on its platform view: entry through the emulated IDTR and the 32-bit services table, the
// debugger stop of the CSR path ending the call with its message, and services it is not given.
#include <gtest/gtest.h>

#include <cstring>

#include "regaccess/register_address.h"
#include "sim/common/debug_stop_log.h"
#include "sim/image/peim_image_run.h"
#include "uefi/status.h"

namespace {

#ifdef PEI_IMAGE

class PeimImage : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    run = sim::PeimImageRun::Create(platform, PEI_IMAGE, error);
    ASSERT_NE(run, nullptr) << error;
    sim::ClearDebugStops();
  }
  sim::TracePlatform platform;
  std::unique_ptr<sim::PeimImageRun> run;
};

TEST_F(PeimImage, TheEntryFindsTheServicesThroughTheIdtAndRegistersItsListenerInTheImage) {
  ASSERT_EQ(run->RunEntry(), EFI_SUCCESS) << run->LastCalls()[0].fault;
  ASSERT_EQ(platform.handler().listeners().size(), 1u);
  const uint64_t listener = reinterpret_cast<uintptr_t>(platform.handler().listeners()[0]);
  const uint64_t base = run->Machine().Image().Base();
  EXPECT_GE(listener, base);
  EXPECT_LT(listener, base + run->Machine().Image().ImageSize());
  EXPECT_EQ(platform.pei().ppis().LocateCalls(gEfiPeiRscHandlerPpiGuid), 1u);
  EXPECT_TRUE(platform.violations().Messages().empty());
}

TEST_F(PeimImage, ACsrRequestOutsideTheRulesEndsTheCallWithTheStopMessage) {
  const std::optional<uint64_t> translate = run->Symbol("__Z19TranslateCsrAddressP15RegisterAddressPj");
  ASSERT_TRUE(translate.has_value()) << "the link map does not list TranslateCsrAddress";
  // Socket 0 of a context whose socket bitmaps are empty: the socket check stops.
  sim::ImageMachine& m = run->Machine();
  auto* record = reinterpret_cast<RegisterAddress*>(m.Arena().Allocate(sizeof(RegisterAddress) + 4, 4));
  *record = {0x03000000u, 0, CpuCsr, platform.pei().silicon_context().address()};
  const uint64_t result = sim::GuestArena::Address32(record + 1);
  const sim::GuestCallResult r = m.Call(*translate, {sim::GuestArena::Address32(record), result});
  EXPECT_FALSE(r.completed);
  EXPECT_TRUE(r.stopped);
  EXPECT_EQ(r.fault, "debugger stop: \nInvalid Socket Id 0. \n");
  ASSERT_EQ(sim::DebugStops().size(), 1u);
  EXPECT_EQ(sim::DebugStops()[0].arguments, std::vector<uint32_t>{0});
}

TEST(PeimImageWithoutHandler, TheEntryRegistersNothingAndReportsNoFault) {
  sim::TracePlatformConfig config;
  config.install_status_code_handler = false;
  sim::TracePlatform bare(config);
  std::string error;
  auto image = sim::PeimImageRun::Create(bare, PEI_IMAGE, error);
  ASSERT_NE(image, nullptr) << error;
  EXPECT_EQ(image->RunEntry(), EFI_SUCCESS);
  EXPECT_TRUE(image->LastCalls()[0].completed);
  EXPECT_TRUE(bare.handler().listeners().empty());
  EXPECT_EQ(bare.pei().ppis().LocateMisses(), 1u);
}

TEST(PeimImageRefusal, TheDriverImageIsNotAPeim) {
  sim::TracePlatform platform;
  std::string error;
  EXPECT_EQ(sim::PeimImageRun::Create(platform, DXE_IMAGE, error), nullptr);
  EXPECT_NE(error.find("x86-64 image"), std::string::npos) << error;
}

#else

TEST(PeimImage, NeedsTheBuiltImages) { GTEST_SKIP() << "this build makes no firmware images"; }

#endif

}  // namespace
