// The board's four PCIe slots, appended to SlotTable once at driver entry.
#include "smbios/board/slot_table.h"

#include "smbios/entry/driver_state.h"

namespace {

struct BoardSlot {
  const CHAR16 *Designation;
  UINT8 Stack;
  UINT8 FirstPort;
  UINT8 SlotNumber;
};

// Every slot hangs off socket 0, is x8 (WidthCode 1) and has SlotIdHigh 0.
constexpr BoardSlot BoardSlots[SlotTableCapacity] = {
    {u"JSLOT1", 1, 0, 1},
    {u"JSLOT2", 1, 2, 2},
    {u"JSLOT3", 2, 0, 3},
    {u"JSLOT4", 2, 2, 4},
};

}  // namespace

VOID BuildBoardTables(VOID) {
  SlotTable &table = gDriver.Slots;
  for (UINTN i = 0; i < SlotTableCapacity; ++i) {
    // The build appends; a table that is already full stays as it is rather than overflowing.
    if (table.Count >= SlotTableCapacity) return;
    SlotEntry &entry = table.Entries[table.Count];
    entry.FirstPort = BoardSlots[i].FirstPort;
    entry.Stack = BoardSlots[i].Stack;
    entry.Socket = 0;
    entry.SlotNumber = BoardSlots[i].SlotNumber;
    entry.WidthCode = 1;
    entry.SlotIdHigh = 0;
    const CHAR16 *source = BoardSlots[i].Designation;
    UINTN n = 0;
    for (; n + 1 < SlotDesignationChars && source[n] != 0; ++n) entry.Designation[n] = source[n];
    for (; n < SlotDesignationChars; ++n) entry.Designation[n] = 0;
    ++table.Count;
  }
}
