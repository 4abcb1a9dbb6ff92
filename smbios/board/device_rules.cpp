// The board's rules for the PCI functions the driver finds, over the ID lists of the board inventory.
#include "smbios/board/device_rules.h"

#include "smbios/board/board_inventory.h"

namespace {

BOOLEAN IsFabricSubClass(UINT8 SubClass) {
  for (UINT8 fabric : FabricSubClasses) {
    if (SubClass == fabric) return TRUE;
  }
  return FALSE;
}

BOOLEAN IsAccelerator(const CardIdentity &Id) {
  if (BoardIdListHas(IdListOf(AcceleratorVendorIds), Id.VendorId)) return TRUE;
  return Id.VendorId == AcceleratorDeviceVendorId && BoardIdListHas(IdListOf(AcceleratorDeviceIds), Id.DeviceId);
}

BOOLEAN IsBoardCard(UINT32 VendorDevice) {
  for (UINT32 card : BoardCardIds) {
    if (VendorDevice == card) return TRUE;
  }
  return FALSE;
}

}  // namespace

SlotDeviceClass MatchSlotClassTest(SlotClassTest Test, const CardIdentity &Identity) {
  BOOLEAN network = Identity.BaseClass == NetworkControllerBaseClass;
  switch (Test) {
    case SlotTestAccelerator:
      return IsAccelerator(Identity) ? SlotClassAccelerator : SlotClassNone;
    case SlotTestNetwork:
      return network && !IsFabricSubClass(Identity.SubClass) ? SlotClassNetwork : SlotClassNone;
    case SlotTestFabric:
      return network && IsFabricSubClass(Identity.SubClass) ? SlotClassFabric : SlotClassNone;
    case SlotTestStorage:
      return Identity.VendorId == StorageVendorId && Identity.DeviceId != StorageExcludedDeviceId ? SlotClassStorage
                                                                                                  : SlotClassNone;
    case SlotTestBoardCard:
      return IsBoardCard(Identity.VendorDevice) ? SlotClassBoardCard : SlotClassNone;
  }
  return SlotClassNone;
}

SlotDeviceClass ClassifyCard(const CardIdentity &Identity) {
  for (SlotClassTest test : SlotClassTestOrder) {
    SlotDeviceClass found = MatchSlotClassTest(test, Identity);
    if (found != SlotClassNone) return found;
  }
  return SlotClassNone;
}

BOOLEAN IsEthernetController(UINT8 SubClass, UINT8 BaseClass) {
  return BaseClass == NetworkControllerBaseClass && SubClass == EthernetSubClass;
}

BOOLEAN AcceptNthEthernet(UINT8 SubClass, UINT8 BaseClass, UINT64 *Counter) {
  if (!IsEthernetController(SubClass, BaseClass)) return FALSE;
  if (*Counter == 0) return TRUE;
  --*Counter;
  return FALSE;
}
