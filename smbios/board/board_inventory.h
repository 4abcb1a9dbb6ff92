// Everything the driver knows about the board, as constant data: the slots, the places of the onboard devices
// and the root ports searched for them, their designations, the card and network controller ID lists and the
// strings of the driver's string package. The driver and the tests read these tables; nothing else restates
// them.
#pragma once
#include "uefi/base_types.h"

// A list of 16-bit PCI IDs.
struct BoardIdList {
  const UINT16 *Ids;
  UINTN Count;
};

// TRUE when Id is in the list.
BOOLEAN BoardIdListHas(const BoardIdList &List, UINT16 Id);

template <UINTN N>
constexpr BoardIdList IdListOf(const UINT16 (&Ids)[N]) {
  return {Ids, N};
}

// ---- Slots ----------------------------------------------------------------------------------------------

constexpr UINTN SlotDesignationChars = 101;  // at most 100 characters and the NUL

struct BoardSlot {
  const CHAR16 *Designation;
  UINT8 Socket;
  UINT8 Stack;
  UINT8 FirstPort;  // first x4 port on the stack; also the root port's device number
  UINT8 SlotNumber;
  UINT32 WidthCode;  // log2 of the x4 ports spanned: 2 is x16, anything else is treated as x8
  UINT16 SlotIdHigh;
};

// In publishing order.
inline constexpr BoardSlot BoardSlots[] = {
    {u"JSLOT1", 0, 1, 0, 1, 1, 0},
    {u"JSLOT2", 0, 1, 2, 2, 1, 0},
    {u"JSLOT3", 0, 2, 0, 3, 1, 0},
    {u"JSLOT4", 0, 2, 2, 4, 1, 0},
};
constexpr UINTN BoardSlotCount = sizeof(BoardSlots) / sizeof(BoardSlots[0]);

// ---- Card classes of the slot records: the IDs each class test matches -----------------------------------

// Accelerators: every function of these vendors, and these devices of one more vendor.
inline constexpr UINT16 AcceleratorVendorIds[] = {0x10DE, 0x1002};
constexpr UINT16 AcceleratorDeviceVendorId = 0x7A3B;
inline constexpr UINT16 AcceleratorDeviceIds[] = {0x4B27, 0x4B2A, 0x4B2C, 0x4B33};
// Network controllers (base class 0x02) of these subclasses are fabric cards; the others are network cards.
constexpr UINT8 NetworkControllerBaseClass = 0x02;
inline constexpr UINT8 FabricSubClasses[] = {0x07, 0x80};
// Ethernet controllers (network controller sub-class 0x00) are the onboard LAN and network controller.
constexpr UINT8 EthernetSubClass = 0x00;
// Storage: every device of this vendor but one.
constexpr UINT16 StorageVendorId = 0x1000;
constexpr UINT16 StorageExcludedDeviceId = 0x006E;
// The board's own cards, as configuration dword 0 (device ID << 16 | vendor ID).
inline constexpr UINT32 BoardCardIds[] = {0x5E191E6D, 0x6D021E6D, 0x4C531E6D};

// ---- Onboard devices ------------------------------------------------------------------------------------

struct BoardPciPlace {
  UINT8 Bus;
  UINT8 Device;
  UINT8 Function;
};

// A root port named by where it hangs: the bus of a socket's I/O stack, then device and function.
struct BoardStackRootPort {
  UINT8 Socket;
  UINT8 Stack;
  UINT8 Device;
  UINT8 Function;
};

// The bridge whose secondary..subordinate buses are searched for the BMC video controller.
inline constexpr BoardPciPlace OnboardVideoBridge = {0, 0x1C, 5};
// The root port whose Ethernet functions are the onboard LAN.
inline constexpr BoardStackRootPort OnboardLanRootPort = {0, 3, 3, 0};
// The chipset root port whose first Ethernet function is the onboard network controller (its MAC address).
inline constexpr BoardPciPlace OnboardNicRootPort = {0, 0x1C, 4};

inline constexpr CHAR16 OnboardVideoDesignation[] = u"Aspeed Video 2500";
inline constexpr CHAR16 OnboardLanDesignation[] = u"Drask Ethernet Lambda ";

// ---- Onboard network controller IDs, grouped by where each keeps its MAC address ------------------------

constexpr UINT16 NetworkControllerVendorId = 0x7A3B;

// MAC address in the per-port registers behind BAR 0.
// Laid out by hand: ten IDs a line.
// clang-format off
inline constexpr UINT16 PortRegisterDeviceIds[] = {
    0x3E00, 0x3E01, 0x3E02, 0x3E03, 0x3E04, 0x3E05, 0x3E06, 0x3E07, 0x3E08, 0x3E09,
    0x3E0A, 0x3E0B, 0x3E0C, 0x3E0D, 0x3E0E, 0x3E0F,
};
// MAC address in the first receive-address register pair; disjoint from PortRegisterDeviceIds. The
// low-register devices first (they are LowReceiveAddressDeviceIds too), then the others.
inline constexpr UINT16 ReceiveAddressDeviceIds[] = {
    0x3F00, 0x3F01, 0x3F02, 0x3F03, 0x3F04, 0x3F05, 0x3F06, 0x3F07, 0x3F08, 0x3F09,
    0x3F0A, 0x3F0B, 0x3F0C, 0x3F0D, 0x3F0E, 0x3F0F, 0x3F10, 0x3F11, 0x3F12, 0x3F13,
    0x3F14, 0x3F15, 0x3F16, 0x3F17, 0x3F18, 0x3F19, 0x3F1A, 0x3F1B, 0x3F1C, 0x3F1D,
    0x3F1E, 0x3F1F, 0x3F20, 0x3F21, 0x3F22, 0x3F40, 0x3F41, 0x3F42, 0x3F43, 0x3F44,
    0x3F45, 0x3F46, 0x3F47, 0x3F48, 0x3F49, 0x3F4A, 0x3F4B, 0x3F4C, 0x3F4D, 0x3F4E,
    0x3F4F, 0x3F50, 0x3F51, 0x3F52, 0x3F53, 0x3F54, 0x3F55, 0x3F56, 0x3F57, 0x3F58,
    0x3F59, 0x3F5A, 0x3F5B, 0x3F5C, 0x3F5D, 0x3F5E, 0x3F5F, 0x3F60, 0x3F61, 0x3F62,
    0x3F63, 0x3F64, 0x3F65, 0x3F66, 0x3F67, 0x3F68, 0x3F69, 0x3F6A, 0x3F6B, 0x3F6C,
    0x3F6D, 0x3F6E, 0x3F6F, 0x3F70, 0x3F71, 0x3F72, 0x3F73, 0x3F74, 0x3F75, 0x3F76,
    0x3F77,
};
// The subset of ReceiveAddressDeviceIds whose receive-address registers sit low in the BAR (+0x40).
inline constexpr UINT16 LowReceiveAddressDeviceIds[] = {
    0x3F00, 0x3F01, 0x3F02, 0x3F03, 0x3F04, 0x3F05, 0x3F06, 0x3F07, 0x3F08, 0x3F09,
    0x3F0A, 0x3F0B, 0x3F0C, 0x3F0D, 0x3F0E, 0x3F0F, 0x3F10, 0x3F11, 0x3F12, 0x3F13,
    0x3F14, 0x3F15, 0x3F16, 0x3F17, 0x3F18, 0x3F19, 0x3F1A, 0x3F1B, 0x3F1C, 0x3F1D,
    0x3F1E, 0x3F1F, 0x3F20, 0x3F21, 0x3F22,
};
// clang-format on

// ---- Strings of the driver's English string package -----------------------------------------------------

// In string-ID order; ID 1 is the language name.
inline constexpr const CHAR16 *PackageStrings[] = {
    u"English",
    u"J6B1 - Serial Port A",
    u"JA7 - USB_1_2",
    u"J2  - BMC VIDEO REAR PANEL VGA",
    u"NIC 1  (10GBE port / J4) 20pin",
    u"NIC 2  (10GBE port / J4) 20pin",
    u"QBX NIC (JA8) 14pin",
    u"J36 - M2_x2PCIE/sSATA_5",
    u"J53 - SATA 0-3",
    u"J53 - SATA 4-7",
    u"J88 - sSATA 0",
    u"J16 - sSATA 1",
    u"J48 - PCIe_4",
    u"J1B2 - PCIe_5",
    u"J18 - sSATA 2",
    u"J19 - sSATA 3",
    u"NIC 3  (10GBE port / J4) 20pin",
    u"NIC 4  (10GBE port / J4) 20pin",
    u"NIC (1GBE port / JA7)",
    u"J3 - PCIe_6",
    u"J1 - PCIe_Validation",
    u"J3 - Slot 6",
    u"J1B2 - Slot 5",
    u"J48 - Slot 6",
    u"ServerEngines Pilot III",
    u"Drask Kappa",
    u"IO Module",
};
constexpr UINTN PackageStringCount = sizeof(PackageStrings) / sizeof(PackageStrings[0]);
