// The onboard-device step on a bare platform: without its record buffer it publishes nothing.
#include <gtest/gtest.h>

#include "smbios/records/onboard_devices.h"
#include "tests/support/driver_test_platform.h"
#include "uefi/status.h"

namespace {

using driver_test::SlotDriverTest;

class EthernetSearchTest : public SlotDriverTest {};

// Without its record buffer the step publishes nothing (a record without its fields would be wrong) and says so.
TEST_F(EthernetSearchTest, OnboardStepWithoutItsBufferPublishesNothing) {
  Attach({});
  platform.Pool().FailAllocation(1);
  EXPECT_EQ(PublishOnboardDevices(), EFI_OUT_OF_RESOURCES);
  EXPECT_TRUE(Records().empty());
}

}  // namespace
