// The board's rules over identity bytes, without a platform: the slot card class tests in their order, and the
// selection of the n-th Ethernet function. Cases are built from the board inventory's own ID lists.
#include <gtest/gtest.h>

#include "smbios/board/board_inventory.h"
#include "smbios/board/device_rules.h"

namespace {

CardIdentity Card(uint16_t vendor, uint16_t device, uint8_t base_class = 0xFF, uint8_t sub_class = 0xFF) {
  return {vendor, device, sub_class, base_class, static_cast<uint32_t>(device) << 16 | vendor};
}

TEST(SlotCardClass, EveryAcceleratorVendorIsAnAcceleratorWhateverItsClass) {
  for (uint16_t vendor : AcceleratorVendorIds) {
    EXPECT_EQ(ClassifyCard(Card(vendor, 0x1234, NetworkControllerBaseClass, 0x00)), SlotClassAccelerator) << vendor;
  }
}

TEST(SlotCardClass, TheDeviceListedVendorIsAnAcceleratorOnlyForItsListedDevices) {
  for (uint16_t device : AcceleratorDeviceIds) {
    EXPECT_EQ(ClassifyCard(Card(AcceleratorDeviceVendorId, device)), SlotClassAccelerator) << device;
    EXPECT_EQ(ClassifyCard(Card(AcceleratorDeviceVendorId, device + 1)), SlotClassNone) << device + 1;
  }
}

TEST(SlotCardClass, NetworkControllersAreFabricForTheFabricSubClassesAndNetworkOtherwise) {
  for (uint8_t sub_class : FabricSubClasses) {
    EXPECT_EQ(ClassifyCard(Card(0x8086, 0x0001, NetworkControllerBaseClass, sub_class)), SlotClassFabric);
  }
  for (uint8_t sub_class : {0x00, 0x01, 0x06, 0x08, 0x7F}) {
    EXPECT_EQ(ClassifyCard(Card(0x8086, 0x0001, NetworkControllerBaseClass, sub_class)), SlotClassNetwork)
        << int(sub_class);
  }
  EXPECT_EQ(ClassifyCard(Card(0x8086, 0x0001, 0x03, 0x00)), SlotClassNone) << "a display controller";
}

TEST(SlotCardClass, StorageIsEveryDeviceOfItsVendorButTheExcludedOne) {
  EXPECT_EQ(ClassifyCard(Card(StorageVendorId, 0x0097, 0x01, 0x07)), SlotClassStorage);
  EXPECT_EQ(ClassifyCard(Card(StorageVendorId, StorageExcludedDeviceId, 0x01, 0x07)), SlotClassNone);
}

TEST(SlotCardClass, TheNetworkTestRunsBeforeTheStorageTest) {
  EXPECT_EQ(ClassifyCard(Card(StorageVendorId, 0x0097, NetworkControllerBaseClass, 0x00)), SlotClassNetwork);
}

TEST(SlotCardClass, BoardCardsMatchTheWholeVendorDeviceWord) {
  for (uint32_t ids : BoardCardIds) {
    CardIdentity card = Card(static_cast<uint16_t>(ids), static_cast<uint16_t>(ids >> 16));
    EXPECT_EQ(ClassifyCard(card), SlotClassBoardCard) << std::hex << ids;
    card.VendorDevice ^= 0x00010000;  // the same vendor, a neighbouring device
    EXPECT_EQ(ClassifyCard(card), SlotClassNone) << std::hex << ids;
  }
}

TEST(SlotCardClass, EachTestAnswersOnlyForItsOwnClass) {
  const CardIdentity fabric = Card(0x8086, 0x0001, NetworkControllerBaseClass, FabricSubClasses[0]);
  EXPECT_EQ(MatchSlotClassTest(SlotTestNetwork, fabric), SlotClassNone);
  EXPECT_EQ(MatchSlotClassTest(SlotTestFabric, fabric), SlotClassFabric);
  EXPECT_EQ(MatchSlotClassTest(SlotTestAccelerator, fabric), SlotClassNone);
  EXPECT_EQ(MatchSlotClassTest(SlotTestStorage, fabric), SlotClassNone);
  EXPECT_EQ(MatchSlotClassTest(SlotTestBoardCard, fabric), SlotClassNone);
  // A network controller of another sub-class is no fabric either.
  EXPECT_EQ(MatchSlotClassTest(SlotTestFabric, Card(0x8086, 0x0001, NetworkControllerBaseClass, 0x00)), SlotClassNone);
  // A fabric sub-class number under another base class is no fabric.
  const CardIdentity other = Card(0x8086, 0x0001, 0x01, FabricSubClasses[0]);
  EXPECT_EQ(MatchSlotClassTest(SlotTestFabric, other), SlotClassNone);
  // A test kind outside the list (the kind is one byte) matches nothing, not even a card of the board.
  const CardIdentity board = Card(static_cast<uint16_t>(BoardCardIds[0]), static_cast<uint16_t>(BoardCardIds[0] >> 16));
  for (unsigned kind = SlotTestBoardCard + 1; kind <= 0xFF; ++kind) {
    EXPECT_EQ(MatchSlotClassTest(static_cast<SlotClassTest>(kind), board), SlotClassNone) << kind;
  }
}

TEST(NthEthernet, TheCounterPassesOverThatManyEthernetControllers) {
  uint64_t counter = 2;
  EXPECT_FALSE(AcceptNthEthernet(EthernetSubClass, NetworkControllerBaseClass, &counter));
  EXPECT_FALSE(AcceptNthEthernet(EthernetSubClass, NetworkControllerBaseClass, &counter));
  EXPECT_EQ(counter, 0u);
  EXPECT_TRUE(AcceptNthEthernet(EthernetSubClass, NetworkControllerBaseClass, &counter));
  EXPECT_EQ(counter, 0u) << "an accepted function leaves the counter";
}

TEST(NthEthernet, OtherFunctionsAreNeverAcceptedAndLeaveTheCounter) {
  uint64_t counter = 1;
  EXPECT_FALSE(AcceptNthEthernet(0x80, NetworkControllerBaseClass, &counter)) << "network controller, other";
  EXPECT_FALSE(AcceptNthEthernet(EthernetSubClass, 0x03, &counter)) << "base class 3, sub-class 0";
  EXPECT_EQ(counter, 1u);
  counter = 0;
  EXPECT_FALSE(AcceptNthEthernet(0x80, NetworkControllerBaseClass, &counter));
  EXPECT_EQ(counter, 0u);
}

TEST(BoardInventory, TheNetworkControllerListsAreGroupedAsTheMacReadExpects) {
  for (uint16_t id : PortRegisterDeviceIds) {
    EXPECT_FALSE(BoardIdListHas(IdListOf(ReceiveAddressDeviceIds), id)) << std::hex << id << " is in both lists";
  }
  for (uint16_t id : LowReceiveAddressDeviceIds) {
    EXPECT_TRUE(BoardIdListHas(IdListOf(ReceiveAddressDeviceIds), id)) << std::hex << id;
  }
  EXPECT_FALSE(BoardIdListHas(IdListOf(ReceiveAddressDeviceIds), 0x0000));
}

}  // namespace
