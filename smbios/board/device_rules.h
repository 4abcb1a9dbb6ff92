// The board's rules for the PCI functions the driver finds, as pure functions of their identity bytes: the
// class of the card in a slot and which functions are the onboard Ethernet. The configuration reads that
// gather the bytes stay with the searches.
#pragma once
#include "uefi/base_types.h"

enum SlotDeviceClass : UINT8 {
  SlotClassNone = 0,
  SlotClassAccelerator,
  SlotClassNetwork,
  SlotClassStorage,
  SlotClassBoardCard,
  SlotClassFabric,
};

// The identity bytes the class tests read.
struct CardIdentity {
  UINT16 VendorId;      // register 0x00
  UINT16 DeviceId;      // register 0x02
  UINT8 SubClass;       // register 0x0A
  UINT8 BaseClass;      // register 0x0B
  UINT32 VendorDevice;  // dword 0x00 (device ID << 16 | vendor ID), as the board-card test reads it
};

// The class tests, in the order they run; the first that matches decides.
enum SlotClassTest : UINT8 {
  SlotTestAccelerator,
  SlotTestNetwork,
  SlotTestFabric,
  SlotTestStorage,
  SlotTestBoardCard,
};
inline constexpr SlotClassTest SlotClassTestOrder[] = {SlotTestAccelerator, SlotTestNetwork, SlotTestFabric,
                                                       SlotTestStorage, SlotTestBoardCard};

// The class one test gives the identity, or SlotClassNone when it does not match.
SlotDeviceClass MatchSlotClassTest(SlotClassTest Test, const CardIdentity &Identity);

// Every test in order on one identity: the first match, or SlotClassNone.
SlotDeviceClass ClassifyCard(const CardIdentity &Identity);

// TRUE for an Ethernet controller (base class 0x02, sub-class 0x00).
BOOLEAN IsEthernetController(UINT8 SubClass, UINT8 BaseClass);

// The selection among the Ethernet functions below a root port: TRUE for an Ethernet controller while
// *Counter is 0; an Ethernet controller with a non-zero counter decrements it and answers FALSE. Other
// classes answer FALSE and leave the counter.
BOOLEAN AcceptNthEthernet(UINT8 SubClass, UINT8 BaseClass, UINT64 *Counter);
