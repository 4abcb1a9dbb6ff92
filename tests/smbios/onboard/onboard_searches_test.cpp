// The onboard searches and step on a bare platform: the Ethernet search below a bridge (the counter passes over
// functions in handle order, other network sub-classes are never selected) and the step without its buffer.
#include <gtest/gtest.h>

#include "smbios/records/onboard_devices.h"
#include "smbios/records/pci_io_search.h"
#include "uefi/status.h"
#include "tests/smbios/slots/slot_test_platform.h"

namespace {

using slots_test::SlotDriverTest;

class EthernetSearchTest : public SlotDriverTest {
 protected:
  // Device << 3 | function of the instance.
  static uint8_t DevFn(EFI_PCI_IO_PROTOCOL* io) {
    UINTN segment = 0, bus = 0, device = 0, function = 0;
    io->GetLocation(io, &segment, &bus, &device, &function);
    return static_cast<uint8_t>(device << 3 | function);
  }
};

TEST_F(EthernetSearchTest, CounterOfOnePassesOverTheFirstAndEndsAtZero) {
  Attach({sim::RootPortSpec({0, 0x16, 3, 0}, 0x17, 0x17, true),
          sim::EndpointSpec({0, 0x17, 0, 0}, 0x7A3B, 0x1589, 0x020000),
          sim::EndpointSpec({0, 0x17, 0, 1}, 0x7A3B, 0x1589, 0x020000),
          sim::EndpointSpec({0, 0x18, 0, 0}, 0x7A3B, 0x1589, 0x020000)});
  UINT64 counter = 1;
  EFI_PCI_IO_PROTOCOL* io = FindEthernetBehindBridge(0, 0x16, 3, 0, &counter);
  ASSERT_NE(io, nullptr);
  EXPECT_EQ(DevFn(io), 0x01);  // device 0, function 1
  EXPECT_EQ(counter, 0u);
  counter = 2;  // only two Ethernet functions lie on bus 0x17; the one on 0x18 is outside the port
  EXPECT_EQ(FindEthernetBehindBridge(0, 0x16, 3, 0, &counter), nullptr);
  EXPECT_EQ(counter, 0u);
}

TEST_F(EthernetSearchTest, OtherNetworkSubclassIsNeverSelectedAndLeavesTheCounter) {
  Attach({sim::RootPortSpec({0, 0x16, 3, 0}, 0x17, 0x17, true),
          sim::EndpointSpec({0, 0x17, 0, 0}, 0x7A3B, 0x1111, 0x028000),
          sim::EndpointSpec({0, 0x17, 0, 1}, 0x7A3B, 0x1589, 0x020000)});
  UINT64 counter = 0;
  EFI_PCI_IO_PROTOCOL* io = FindEthernetBehindBridge(0, 0x16, 3, 0, &counter);
  ASSERT_NE(io, nullptr);
  EXPECT_EQ(DevFn(io), 0x01);
  UINT64 other = 0;
  EXPECT_FALSE(NthEthernetFunction(FindPciIoByLocation(0, 0x17, 0, 0), &other));
  other = 5;
  EXPECT_FALSE(NthEthernetFunction(FindPciIoByLocation(0, 0x17, 0, 0), &other));
  EXPECT_EQ(other, 5u);
}

TEST_F(EthernetSearchTest, NoBridgeInstanceReadsTheBusesThroughTheWindow) {
  // No instance at 16:03.0, so its bus numbers come from the window, where nothing answers: all ones.
  Attach({sim::EndpointSpec({0, 0x17, 0, 0}, 0x7A3B, 0x1589, 0x020000)});
  UINT64 counter = 0;
  EXPECT_EQ(FindEthernetBehindBridge(0, 0x16, 3, 0, &counter), nullptr);
}

// Without its record buffer the step publishes nothing (a record without its fields would be wrong) and says so.
TEST_F(EthernetSearchTest, OnboardStepWithoutItsBufferPublishesNothing) {
  Attach({});
  platform.Pool().FailAllocation(1);
  EXPECT_EQ(PublishOnboardDevices(), EFI_OUT_OF_RESOURCES);
  EXPECT_TRUE(Records().empty());
}

}  // namespace
