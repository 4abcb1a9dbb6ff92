// The probes behind a slot record: the stack bus and the slot's root port, link state, and card classification.
#include <gtest/gtest.h>

#include "smbios/records/slot_classification.h"
#include "smbios/records/slot_root_port.h"
#include "smbios/services/pci/stack_bus.h"
#include "tests/support/driver_test_platform.h"

namespace {

using driver_test::kStack1Bus;
using driver_test::SlotDriverTest;

class PciLookupsTest : public SlotDriverTest {};

TEST_F(PciLookupsTest, StackBusComesFromTheLayoutAndAbsentPartsAreUnsupported) {
  auto layout = DefaultLayout();
  layout.sockets[0]->segment = 2;
  SetLayout(layout);
  UINT8 segment = 0, bus = 0;
  EXPECT_EQ(GetStackBus(0, 2, &segment, &bus), EFI_SUCCESS);
  EXPECT_EQ(segment, 2);
  EXPECT_EQ(bus, driver_test::kStack2Bus);
  EXPECT_EQ(GetStackBus(0, 3, &segment, &bus), EFI_UNSUPPORTED);
  EXPECT_EQ(GetStackBus(1, 1, &segment, &bus), EFI_UNSUPPORTED);
  // The last socket (7) and stack (5) are the layout's; the next ones are past it even when marked present.
  SocketBusLayoutRecord* all = DriverSocketBusLayoutForUpdate();
  all->SocketPresentMask = 0xFFFFFFFF;
  all->Sockets[0].StackPresentMask = 0xFF;
  all->Sockets[0].StackBus[5] = 0xE5;
  all->Sockets[7] = {3, 0x01, {0x70, 0, 0, 0, 0, 0}};
  EXPECT_EQ(GetStackBus(0, 5, &segment, &bus), EFI_SUCCESS);
  EXPECT_EQ(bus, 0xE5);
  EXPECT_EQ(GetStackBus(7, 0, &segment, &bus), EFI_SUCCESS);
  EXPECT_EQ(segment, 3);
  EXPECT_EQ(bus, 0x70);
  // A socket past the layout is refused before anything is read for it, even when the module state after the
  // layout is all ones (so a read past the layout would find a socket with every stack present).
  DriverSetHiiHandle(reinterpret_cast<EFI_HII_HANDLE>(~static_cast<UINTN>(0)));
  EXPECT_EQ(GetStackBus(8, 1, &segment, &bus), EFI_UNSUPPORTED);
  EXPECT_EQ(GetStackBus(8, 0, &segment, &bus), EFI_UNSUPPORTED);
  EXPECT_EQ(GetStackBus(31, 0, &segment, &bus), EFI_UNSUPPORTED);
  DriverSetHiiHandle(nullptr);
  EXPECT_EQ(GetStackBus(0, 6, &segment, &bus), EFI_UNSUPPORTED);
  EXPECT_EQ(GetStackBus(0, 7, &segment, &bus), EFI_UNSUPPORTED);

  auto entry = Slot(1, 2, 2);
  UINT8 device = 0;
  DriverSocketBusLayoutForUpdate()->Valid = 0;
  EXPECT_EQ(FindSlotRootPort(&entry, &segment, &bus, &device), EFI_NOT_READY);
}

TEST_F(PciLookupsTest, LinkStateNeedsADeviceAnExpressCapabilityAboveTheHeaderAndTheActiveBit) {
  auto up = sim::RootPortSpec({0, kStack1Bus, 0, 0}, 0x17, 0x17, true);
  auto down = sim::RootPortSpec({0, kStack1Bus, 2, 0}, 0x18, 0x18, false);
  auto no_list = sim::RootPortSpec({0, kStack1Bus, 4, 0}, 0x19, 0x19, true);
  no_list.pokes = {{0x06, {0x00}}, {0x13, {0x20}}};  // Capabilities List bit clear; 0x12 would read as active
  auto low_cap = sim::RootPortSpec({0, kStack1Bus, 6, 0}, 0x1A, 0x1A, true);
  low_cap.pokes = {{0x34, {0x20}}, {0x20, {0x10, 0x00}}};
  auto zero_vendor = sim::RootPortSpec({0, kStack1Bus, 8, 0}, 0x1B, 0x1B, true);
  zero_vendor.vendor_id = 0x0000;
  Attach({up, down, no_list, low_cap, zero_vendor});
  EXPECT_TRUE(IsLinkActive(kStack1Bus, 0));
  EXPECT_FALSE(IsLinkActive(kStack1Bus, 2));
  EXPECT_FALSE(IsLinkActive(kStack1Bus, 4));
  EXPECT_FALSE(IsLinkActive(kStack1Bus, 6));
  EXPECT_FALSE(IsLinkActive(kStack1Bus, 8));
  EXPECT_FALSE(IsLinkActive(kStack1Bus, 10)) << "no device";
}

struct ClassCase {
  uint16_t vendor, device;
  uint32_t class_code;
  SlotDeviceClass expected;
};

class ClassifyTest : public SlotDriverTest, public ::testing::WithParamInterface<ClassCase> {};

TEST_P(ClassifyTest, TheFirstMatchingTestDecides) {
  const ClassCase& c = GetParam();
  Attach({sim::RootPortSpec({0, kStack1Bus, 0, 0}, 0x17, 0x17, true),
          sim::EndpointSpec({0, 0x17, 0, 0}, c.vendor, c.device, c.class_code)});
  EFI_PCI_IO_PROTOCOL* card = nullptr;
  EXPECT_EQ(ClassifySlotDevice(0, kStack1Bus, 0, &card), c.expected);
  EXPECT_NE(card, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    ClassTable, ClassifyTest,
    ::testing::Values(
        ClassCase{0x10DE, 0x1234, 0x020000, SlotClassAccelerator},  // before network
        ClassCase{0x1002, 0x0001, 0x030000, SlotClassAccelerator},
        ClassCase{0x7A3B, 0x4B33, 0x120000, SlotClassAccelerator}, ClassCase{0x7A3B, 0x4B28, 0x120000, SlotClassNone},
        ClassCase{0x7A3B, 0x1593, 0x020000, SlotClassNetwork}, ClassCase{0x7A3B, 0x1593, 0x020700, SlotClassFabric},
        ClassCase{0x7A3B, 0x1593, 0x028000, SlotClassFabric}, ClassCase{0x1000, 0x0097, 0x010700, SlotClassStorage},
        ClassCase{0x1000, 0x006E, 0x010700, SlotClassNone},
        ClassCase{0x1000, 0x0097, 0x020000, SlotClassNetwork},  // network before storage
        ClassCase{0x1E6D, 0x6D02, 0x088000, SlotClassBoardCard}, ClassCase{0x1E6D, 0x6D03, 0x088000, SlotClassNone}));

TEST_F(PciLookupsTest, OnlyTypeZeroFunctionsInTheRangeAndOnTheSegmentAreConsidered) {
  Attach({sim::RootPortSpec({0, kStack1Bus, 0, 0}, 0x17, 0x18, true), sim::BridgeSpec({0, 0x17, 0, 0}, 0x18, 0x18),
          sim::EndpointSpec({1, 0x18, 0, 0}, 0x7A3B, 0x1593, 0x020000),    // same bus, other segment
          sim::EndpointSpec({0, 0x19, 0, 0}, 0x1000, 0x0097, 0x010700)});  // outside the range
  EFI_PCI_IO_PROTOCOL* card = reinterpret_cast<EFI_PCI_IO_PROTOCOL*>(1);
  EXPECT_EQ(ClassifySlotDevice(0, kStack1Bus, 0, &card), SlotClassNone);
  EXPECT_EQ(card, nullptr) << "a bridge alone holds no card";
}

TEST_F(PciLookupsTest, SecondaryAboveSubordinateHoldsNoCard) {
  auto port = sim::RootPortSpec({0, kStack1Bus, 0, 0}, 0x17, 0x17, true);
  port.pokes = {{0x19, {0x18}}};  // secondary 0x18, subordinate 0x17
  Attach({port, sim::EndpointSpec({0, 0x17, 0, 0}, 0x7A3B, 0x1593, 0x020000),
          sim::EndpointSpec({0, 0x18, 0, 0}, 0x7A3B, 0x1593, 0x020000)});
  EFI_PCI_IO_PROTOCOL* card = nullptr;
  EXPECT_EQ(ClassifySlotDevice(0, kStack1Bus, 0, &card), SlotClassNone);
  EXPECT_EQ(card, nullptr);
}

TEST_F(PciLookupsTest, NoPciIoInstancesMeansNoClass) {
  Attach({sim::RootPortSpec({0, kStack1Bus, 0, 0}, 0x17, 0x17, true),
          sim::EndpointSpec({0, 0x17, 0, 0}, 0x7A3B, 0x1593, 0x020000)});
  platform.MarkProtocolAbsent(EFI_GUID EFI_PCI_IO_PROTOCOL_GUID);
  EFI_PCI_IO_PROTOCOL* card = nullptr;
  EXPECT_EQ(ClassifySlotDevice(0, kStack1Bus, 0, &card), SlotClassNone);
  EXPECT_EQ(card, nullptr);
}

}  // namespace
