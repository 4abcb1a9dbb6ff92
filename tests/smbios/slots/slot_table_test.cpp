// The board's slot table, built once at entry.
#include <gtest/gtest.h>

#include <string>

#include "smbios/board/slot_table.h"
#include "smbios/entry/driver_state.h"

namespace {

std::u16string Designation(const SlotEntry& e) { return std::u16string(e.Designation); }

TEST(SlotTable, BuildAppendsTheFourSlotsInBoardOrder) {
  DriverStateReset();
  BuildBoardTables();
  ASSERT_EQ(gDriver.Slots.Count, 4u);
  const struct {
    const char16_t* name;
    uint8_t stack, port, number;
  } expected[] = {{u"JSLOT1", 1, 0, 1}, {u"JSLOT2", 1, 2, 2}, {u"JSLOT3", 2, 0, 3}, {u"JSLOT4", 2, 2, 4}};
  for (size_t i = 0; i < 4; ++i) {
    const SlotEntry& e = gDriver.Slots.Entries[i];
    EXPECT_EQ(Designation(e), expected[i].name);
    EXPECT_EQ(e.Stack, expected[i].stack);
    EXPECT_EQ(e.FirstPort, expected[i].port);
    EXPECT_EQ(e.SlotNumber, expected[i].number);
    EXPECT_EQ(e.Socket, 0);
    EXPECT_EQ(e.WidthCode, 1u);
    EXPECT_EQ(e.SlotIdHigh, 0);
    for (size_t c = 6; c < SlotDesignationChars; ++c) EXPECT_EQ(e.Designation[c], 0) << "slot " << i;
  }
}

TEST(SlotTable, ASecondBuildCannotOverflowTheTable) {
  DriverStateReset();
  BuildBoardTables();
  BuildBoardTables();
  EXPECT_EQ(gDriver.Slots.Count, 4u);
  EXPECT_EQ(Designation(gDriver.Slots.Entries[3]), u"JSLOT4");
}

}  // namespace
