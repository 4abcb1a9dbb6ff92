// The capability walk in the configuration window: each capability found, bounded loops, pointers into the header,
// masked pointers and entries reading all ones.
#include <gtest/gtest.h>

#include "smbios/services/pci/pci_config_window.h"
#include "smbios/services/pci/pci_registers.h"
#include "tests/support/driver_test_platform.h"

namespace {

using driver_test::SlotDriverTest;

class PciLookupsTest : public SlotDriverTest {};

TEST_F(PciLookupsTest, CapabilityWalkFindsEachCapabilityAndCardBusUsesItsPointer) {
  auto card = sim::EndpointSpec({0, 0x17, 0, 0}, 0x7A3B, 0x1593, 0x020000);
  sim::WithVpd(card, {0x78});
  auto cardbus = sim::EndpointSpec({0, 0x20, 0, 0}, 0x7A3B, 0x0001, 0x060700);
  cardbus.header_type = 2;
  cardbus.secondary_bus = 0x21;
  cardbus.subordinate_bus = 0x21;
  Attach({card, cardbus});
  EXPECT_EQ(FindCapabilityOffset(0x17, 0, 0, PciCapabilityIdExpress), 0x40);
  EXPECT_EQ(FindCapabilityOffset(0x17, 0, 0, PciCapabilityIdVpd), 0x7C);
  const uint64_t before = platform.Bus().ReadCount();
  EXPECT_EQ(FindCapabilityOffset(0x17, 0, 0, 0x05), 0);
  // Status, header type, pointer, then ID and next pointer of the two entries: a null pointer ends the walk.
  EXPECT_EQ(platform.Bus().ReadCount() - before, 3u + 2 * 2);
  EXPECT_EQ(FindCapabilityOffset(0x20, 0, 0, PciCapabilityIdExpress), 0x48);
  EXPECT_EQ(FindCapabilityOffset(0x40, 0, 0, PciCapabilityIdExpress), 0) << "absent function reads 0xFF";
}

TEST_F(PciLookupsTest, ALoopingListEndsWithinTheWalkBound) {
  auto card = sim::EndpointSpec({0, 0x17, 0, 0}, 0x7A3B, 0x1593, 0x020000);
  card.pokes.push_back({0x41, {0x40}});  // the capability points at itself
  Attach({card});
  const uint64_t before = platform.Bus().ReadCount();
  EXPECT_EQ(FindCapabilityOffset(0x17, 0, 0, PciCapabilityIdVpd), 0);
  EXPECT_LE(platform.Bus().ReadCount() - before, 3 + 2 * PciCapabilityWalkLimit);
}

TEST_F(PciLookupsTest, APointerIntoTheHeaderIsFollowedAndOnlyAMatchThereIsRefused) {
  auto card = sim::EndpointSpec({0, 0x17, 0, 0}, 0x7A3B, 0x1593, 0x020000);
  // A list starting at 0x20 whose entry there names VPD and links on to the PCI Express capability at 0x40.
  card.pokes = {{0x34, {0x20}}, {0x20, {0x03, 0x40}}};
  Attach({card});
  EXPECT_EQ(FindCapabilityOffset(0x17, 0, 0, PciCapabilityIdVpd), 0) << "a match below 0x40 is refused";
  EXPECT_EQ(FindCapabilityOffset(0x17, 0, 0, PciCapabilityIdExpress), 0x40) << "the walk goes on through 0x20";
}

TEST_F(PciLookupsTest, PointersAreMaskedAndAnEntryReadingAllOnesEndsTheWalkAfterItsNextPointer) {
  auto card = sim::EndpointSpec({0, 0x17, 0, 0}, 0x7A3B, 0x1593, 0x020000);
  // 0x34 names 0x23 (masked to 0x20); the entry at 0x20 links on with 0x42 (masked to 0x40).
  card.pokes = {{0x34, {0x23}}, {0x20, {0x05, 0x42}}};
  auto gone = sim::EndpointSpec({0, 0x18, 0, 0}, 0x7A3B, 0x1593, 0x020000);
  gone.pokes = {{0x34, {0x20}}, {0x20, {0xFF, 0x40}}};  // an ID of 0xFF: the chain reads as absent hardware
  Attach({card, gone});
  EXPECT_EQ(FindCapabilityOffset(0x17, 0, 0, PciCapabilityIdExpress), 0x40);
  const uint64_t before = platform.Bus().ReadCount();
  EXPECT_EQ(FindCapabilityOffset(0x18, 0, 0, PciCapabilityIdExpress), 0);
  // Status, header type, pointer; the entry's ID and next pointer; nothing after.
  EXPECT_EQ(platform.Bus().ReadCount() - before, 5u);
}

}  // namespace
