// The board's slot table, built once at entry from the board inventory.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "smbios/board/board_inventory.h"
#include "smbios/board/slot_table.h"
#include "smbios/entry/driver_state.h"

namespace {

std::u16string Designation(const SlotEntry& e) { return std::u16string(e.Designation); }

TEST(SlotTable, BuildAppendsTheInventorysSlotsInItsOrder) {
  DriverStateReset();
  std::memset(DriverSlotTable()->Entries, 0xFF, sizeof(DriverSlotTable()->Entries));  // every field is written
  // The module state right after the table: the build writes nothing there.
  std::memset(DriverCallbackRegistration(), 0xAB, sizeof(CallbackRegistration));
  BuildBoardTables();
  const auto* after = reinterpret_cast<const uint8_t*>(DriverCallbackRegistration());
  for (size_t i = 0; i < sizeof(CallbackRegistration); ++i) EXPECT_EQ(after[i], 0xAB) << "byte " << i;
  ASSERT_EQ(DriverSlotTable()->Count, BoardSlotCount);
  for (size_t i = 0; i < BoardSlotCount; ++i) {
    const SlotEntry& e = DriverSlotTable()->Entries[i];
    const BoardSlot& slot = BoardSlots[i];
    EXPECT_EQ(Designation(e), slot.Designation);
    EXPECT_EQ(e.Socket, slot.Socket);
    EXPECT_EQ(e.Stack, slot.Stack);
    EXPECT_EQ(e.FirstPort, slot.FirstPort);
    EXPECT_EQ(e.SlotNumber, slot.SlotNumber);
    EXPECT_EQ(e.WidthCode, slot.WidthCode);
    EXPECT_EQ(e.SlotIdHigh, slot.SlotIdHigh);
    for (size_t c = Designation(e).size(); c < SlotDesignationChars; ++c) EXPECT_EQ(e.Designation[c], 0) << i;
  }
}

TEST(SlotTable, EveryInventoryDesignationFitsItsEntryWithTheNul) {
  for (const BoardSlot& slot : BoardSlots) {
    EXPECT_LT(std::u16string(slot.Designation).size(), SlotDesignationChars) << "slot " << int(slot.SlotNumber);
  }
}

TEST(SlotTable, ASecondBuildCannotOverflowTheTable) {
  DriverStateReset();
  BuildBoardTables();
  BuildBoardTables();
  EXPECT_EQ(DriverSlotTable()->Count, BoardSlotCount);
  EXPECT_EQ(Designation(DriverSlotTable()->Entries[BoardSlotCount - 1]), BoardSlots[BoardSlotCount - 1].Designation);
}

}  // namespace
