// The board's PCIe slots as the driver keeps them: one SlotEntry per physical slot.
#pragma once
#include "smbios/board/board_inventory.h"
#include "uefi/base_types.h"

constexpr UINTN SlotTableCapacity = BoardSlotCount;

struct SlotEntry {
  UINT8 FirstPort;   // first x4 port of the slot on its stack; also the root port's device number
  UINT8 Stack;       // I/O stack of the socket
  UINT8 Socket;      // CPU socket
  UINT8 SlotNumber;  // low byte of the SMBIOS slot ID
  UINT32 WidthCode;  // log2 of the x4 ports spanned: 2 is x16, anything else is treated as x8
  UINT16 SlotIdHigh;
  CHAR16 Designation[SlotDesignationChars];
};

struct SlotTable {
  UINTN Count;
  SlotEntry Entries[SlotTableCapacity];
};
