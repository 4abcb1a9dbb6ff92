// The board's PCIe slots, appended to the module state's SlotTable once at driver entry.
#include "smbios/board/slot_table.h"

#include "smbios/entry/driver_state.h"

VOID BuildBoardTables(VOID) {
  SlotTable &table = *DriverSlotTable();
  for (const BoardSlot &slot : BoardSlots) {
    // The build appends; a table that is already full stays as it is rather than overflowing.
    if (table.Count >= SlotTableCapacity) return;
    SlotEntry &entry = table.Entries[table.Count];
    entry.FirstPort = slot.FirstPort;
    entry.Stack = slot.Stack;
    entry.Socket = slot.Socket;
    entry.SlotNumber = slot.SlotNumber;
    entry.WidthCode = slot.WidthCode;
    entry.SlotIdHigh = slot.SlotIdHigh;
    UINTN n = 0;
    for (; n + 1 < SlotDesignationChars && slot.Designation[n] != 0; ++n) entry.Designation[n] = slot.Designation[n];
    for (; n < SlotDesignationChars; ++n) entry.Designation[n] = 0;
    ++table.Count;
  }
}
