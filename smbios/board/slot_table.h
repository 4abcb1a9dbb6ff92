// The board's PCIe slots: one SlotEntry per physical slot, filled once at driver entry.
#pragma once
#include "uefi/base_types.h"

constexpr UINTN SlotDesignationChars = 101;  // at most 100 characters and the NUL
constexpr UINTN SlotTableCapacity = 4;

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

// Appends the board's slots to the table (called once, at the end of entry initialisation).
VOID BuildBoardTables(VOID);
