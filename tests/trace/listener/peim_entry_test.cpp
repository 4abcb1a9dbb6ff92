// The entry point: registration through the PPI found via the IDT, success whatever happens.
#include <gtest/gtest.h>

#include "sim/pei/trace_platform.h"
#include "trace/listener/peim_entry.h"
#include "trace/listener/status_code_listener.h"
#include "uefi/status.h"

namespace {

TEST(PeimEntry, RegistersTheListenerOnceAndIgnoresItsArguments) {
  sim::TracePlatform platform;
  int not_a_file = 0;
  const EFI_PEI_SERVICES** bogus = reinterpret_cast<const EFI_PEI_SERVICES**>(&not_a_file);
  EXPECT_EQ(TraceStatusPeimEntry(&not_a_file, bogus), EFI_SUCCESS);
  ASSERT_EQ(platform.handler().listeners().size(), 1u);
  EXPECT_EQ(platform.handler().listeners()[0], StatusCodeListener);
  EXPECT_EQ(platform.pei().ppis().LocateCalls(gEfiPeiRscHandlerPpiGuid), 1u);
  EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined();
}

TEST(PeimEntry, WithoutTheHandlerPpiItReturnsSuccessWithoutRegistering) {
  sim::TracePlatformConfig config;
  config.install_status_code_handler = false;
  sim::TracePlatform platform(config);
  EXPECT_EQ(TraceStatusPeimEntry(nullptr, nullptr), EFI_SUCCESS);
  EXPECT_EQ(platform.handler().RegisterCalls(), 0u);
  EXPECT_EQ(platform.pei().ppis().LocateMisses(), 1u);
  // A handler PPI without its Register service is left alone too.
  EFI_PEI_RSC_HANDLER_PPI no_register{};
  platform.pei().ppis().Install(gEfiPeiRscHandlerPpiGuid, &no_register);
  EXPECT_EQ(TraceStatusPeimEntry(nullptr, nullptr), EFI_SUCCESS);
  EXPECT_EQ(platform.handler().RegisterCalls(), 0u);
}

TEST(PeimEntry, ARefusedRegistrationStillReturnsSuccess) {
  sim::TracePlatform platform;
  ASSERT_EQ(TraceStatusPeimEntry(nullptr, nullptr), EFI_SUCCESS);
  EXPECT_EQ(TraceStatusPeimEntry(nullptr, nullptr), EFI_SUCCESS);  // the handler answers "already started"
  EXPECT_EQ(platform.handler().RegisterCalls(), 2u);
  EXPECT_EQ(platform.handler().listeners().size(), 1u);
}

TEST(PeimEntry, WithoutAnIdtBaseNothingIsCalled) {
  sim::TracePlatform platform;
  platform.pei().set_idt_base(0);
  EXPECT_EQ(TraceStatusPeimEntry(nullptr, nullptr), EFI_SUCCESS);
  EXPECT_EQ(platform.handler().RegisterCalls(), 0u);
}

TEST(PeimEntry, ARegisteredListenerSendsEveryReportedCode) {
  sim::TracePlatform platform;
  TraceStatusPeimEntry(nullptr, nullptr);
  platform.Report(0x80000002, 0x0301000A);
  platform.Report(0x00000001, 0x01020304);
  EXPECT_EQ(sim::DecodeSystMessages(platform.hub().ChannelWrites(32, 14)).size(), 2u);
}

}  // namespace
