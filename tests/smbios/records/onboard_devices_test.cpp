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

int refused_adds = 0;
EFI_STATUS EFIAPI RefusingAdd(const EFI_SMBIOS_PROTOCOL*, EFI_HANDLE, EFI_SMBIOS_HANDLE*, EFI_SMBIOS_TABLE_HEADER*) {
  ++refused_adds;
  return EFI_OUT_OF_RESOURCES;
}

// A refused type 41 record has no handle to refer to: its type 40 record is not offered.
TEST_F(EthernetSearchTest, RefusedDeviceRecordsGetNoAdditionalInformation) {
  Attach({});
  EFI_SMBIOS_PROTOCOL refusing{};
  refusing.Add = &RefusingAdd;
  *DriverProtocolCache(CachedSmbios) = &refusing;
  refused_adds = 0;
  EXPECT_EQ(PublishOnboardDevices(), EFI_SUCCESS);
  EXPECT_EQ(refused_adds, 2) << "the video and LAN records only";
}

}  // namespace
