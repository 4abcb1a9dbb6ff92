// System Slots records: fixed fields from the slot entry and the live probe of socket, root port, link and card.
#include <gtest/gtest.h>

#include "smbios/records/slot_record.h"
#include "tests/support/driver_test_platform.h"

namespace {

using driver_test::kStack1Bus;
using driver_test::kStack2Bus;
using driver_test::SlotDriverTest;

struct SlotFields {
  uint8_t type, length, slot_type, width, usage, slot_length, char1, char2, bus, devfn;
  uint16_t id, segment;
};

SlotFields Fields(const sim::SmbiosRecordView& r) {
  const auto& b = r.bytes;
  return {b[0],
          b[1],
          b[5],
          b[6],
          b[7],
          b[8],
          b[0x0B],
          b[0x0C],
          b[0x0F],
          b[0x10],
          static_cast<uint16_t>(b[9] | (b[10] << 8)),
          static_cast<uint16_t>(b[0x0D] | (b[0x0E] << 8))};
}

class SlotRecordTest : public SlotDriverTest {
 protected:
  // Builds one slot's records and returns its type 9 fields, checking the type 40 that must follow it.
  SlotFields Build(const SlotEntry& entry) {
    EXPECT_EQ(BuildSlotRecord(&entry), EFI_SUCCESS);
    auto records = Records();
    EXPECT_EQ(records.size(), 2u);
    if (records.size() != 2) return {};
    EXPECT_EQ(records[0].type, 9);
    EXPECT_EQ(records[0].strings, std::vector<std::string>{"JSLOT1"});
    EXPECT_EQ(records[0].bytes[4], 1) << "designation is string 1";
    EXPECT_EQ(records[1].type, 40);
    EXPECT_EQ(records[1].bytes[6] | (records[1].bytes[7] << 8), records[0].handle) << "type 40 references it";
    return Fields(records[0]);
  }
};

TEST_F(SlotRecordTest, WithoutAValidLayoutTheSlotKeepsItsDefaultLocation) {
  DriverSocketBusLayoutForUpdate()->Valid = 0;
  Attach({sim::RootPortSpec({0, kStack1Bus, 0, 0}, 0x17, 0x17, true)});
  SlotFields f = Build(Slot(1, 0, 1));
  EXPECT_EQ(f.length, 0x11);
  EXPECT_EQ(f.usage, 0x02);
  EXPECT_EQ(f.segment, 0);
  EXPECT_EQ(f.bus, 0xFF);
  EXPECT_EQ(f.devfn, 0);
  EXPECT_EQ(f.char1, 0x04);
  EXPECT_EQ(f.char2, 0x05);
  EXPECT_EQ(f.slot_type, 0xB5);
  EXPECT_EQ(f.width, 0x0B);
  EXPECT_EQ(f.slot_length, 0x03);
  EXPECT_EQ(f.id, 1);
}

TEST_F(SlotRecordTest, AbsentSocketsAndStacksStopTheProbeEarly) {
  auto on_absent_stack = Slot(3, 0, 1);  // stack 3 is not present in the layout
  EXPECT_EQ(Build(on_absent_stack).usage, 0x03);
  EXPECT_EQ(Fields(Records()[0]).bus, 0xFF);
}

TEST_F(SlotRecordTest, SocketsAboveSevenCountAsAbsent) {
  DriverSocketBusLayoutForUpdate()->SocketPresentMask = 0xFFFFFFFF;
  auto entry = Slot(1, 0, 1);
  entry.Socket = 8;
  SlotFields f = Build(entry);
  EXPECT_EQ(f.usage, 0x02);
  EXPECT_EQ(f.bus, 0xFF);
  // Socket 7 is the last one the mask describes: present, so the probe goes on (to a stack it lacks).
  entry.Socket = 7;
  EXPECT_EQ(BuildSlotRecord(&entry), EFI_SUCCESS);
  // Socket 7 with its bit clear in the mask is absent again.
  DriverSocketBusLayoutForUpdate()->SocketPresentMask = 0xFFFFFF7F;
  EXPECT_EQ(BuildSlotRecord(&entry), EFI_SUCCESS);
  auto slots = RecordsOfType(9);
  ASSERT_EQ(slots.size(), 3u);
  EXPECT_EQ(Fields(slots[1]).usage, 0x03);
  EXPECT_EQ(Fields(slots[2]).usage, 0x02);
}

TEST_F(SlotRecordTest, LinkDownNamesTheRootPort) {
  auto layout = DefaultLayout();
  layout.sockets[0]->segment = 3;
  SetLayout(layout);
  Attach({sim::RootPortSpec({0, kStack2Bus, 2, 0}, 0x31, 0x31, false),
          sim::EndpointSpec({0, 0x31, 0, 0}, 0x7A3B, 0x1593, 0x020000)});
  SlotFields f = Build(Slot(2, 2, 4));
  EXPECT_EQ(f.usage, 0x03);
  EXPECT_EQ(f.bus, kStack2Bus);
  EXPECT_EQ(f.devfn, 2 << 3);
  EXPECT_EQ(f.segment, 3);
  EXPECT_EQ(f.char2, 0x05);
}

TEST_F(SlotRecordTest, NetworkCardWithLinkUpIsInUseAtTheCardsAddress) {
  Attach({sim::RootPortSpec({0, kStack1Bus, 0, 0}, 0x17, 0x17, true),
          sim::EndpointSpec({0, 0x17, 3, 0}, 0x7A3B, 0x0001, 0x068000),    // a bridge-class function, no match
          sim::EndpointSpec({0, 0x17, 3, 1}, 0x7A3B, 0x1593, 0x020000),    // first classified: network
          sim::EndpointSpec({0, 0x17, 4, 0}, 0x7A3B, 0x4B27, 0x120000)});  // an accelerator, later in order
  SlotFields f = Build(Slot(1, 0, 1));
  EXPECT_EQ(f.usage, 0x04);
  EXPECT_EQ(f.char2, 0x25);
  EXPECT_EQ(f.bus, 0x17);
  EXPECT_EQ(f.devfn, (3 << 3) | 1);
  EXPECT_EQ(f.segment, 0);
}

TEST_F(SlotRecordTest, UnclassifiedCardStillGivesTheLastTypeZeroFunction) {
  Attach({sim::RootPortSpec({0, kStack1Bus, 2, 0}, 0x18, 0x18, true),
          sim::EndpointSpec({0, 0x18, 0, 0}, 0x7A3B, 0x0001, 0x088000),
          sim::EndpointSpec({0, 0x18, 5, 0}, 0x7A3B, 0x0002, 0x088000)});
  SlotFields f = Build(Slot(1, 2, 2));
  EXPECT_EQ(f.usage, 0x04);
  EXPECT_EQ(f.char2, 0x05);
  EXPECT_EQ(f.bus, 0x18);
  EXPECT_EQ(f.devfn, 5 << 3);
}

TEST_F(SlotRecordTest, BridgesBehindThePortAreNeverTheCard) {
  Attach({sim::RootPortSpec({0, kStack2Bus, 0, 0}, 0x31, 0x33, true), sim::BridgeSpec({0, 0x31, 0, 0}, 0x32, 0x33),
          sim::BridgeSpec({0, 0x32, 1, 0}, 0x33, 0x33), sim::EndpointSpec({0, 0x33, 0, 0}, 0x1000, 0x0097, 0x010700)});
  SlotFields f = Build(Slot(2, 0, 3));
  EXPECT_EQ(f.char2, 0x35);
  EXPECT_EQ(f.bus, 0x33);
  EXPECT_EQ(f.devfn, 0);
}

TEST_F(SlotRecordTest, SixteenLaneSlotsAndTheHighSlotIdByte) {
  Attach({});
  auto entry = Slot(1, 0, 7);
  entry.WidthCode = 2;
  entry.SlotIdHigh = 0x0102;  // kept to 16 bits: 0x02 lands in the high byte
  SlotFields f = Build(entry);
  EXPECT_EQ(f.slot_type, 0xB6);
  EXPECT_EQ(f.width, 0x0D);
  EXPECT_EQ(f.slot_length, 0x04);
  EXPECT_EQ(f.id, 0x0207);
}

TEST_F(SlotRecordTest, NoBufferMeansNothingIsPublished) {
  platform.FailAllocation(1);
  auto entry = Slot(1, 0, 1);
  EXPECT_EQ(BuildSlotRecord(&entry), EFI_OUT_OF_RESOURCES);
  EXPECT_TRUE(Records().empty());
}

TEST_F(SlotRecordTest, ADesignationTooLongForTheStringSetIsLeftOutAndTheSlotStillPublished) {
  Attach({});
  // 64 characters: the string set cannot hold it.
  auto entry = Slot(1, 0, 1, u"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKL");
  EXPECT_EQ(BuildSlotRecord(&entry), EFI_SUCCESS);
  auto records = Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].type, 9);
  EXPECT_EQ(records[0].bytes[4], 0) << "no designation string";
  EXPECT_TRUE(records[0].strings.empty());
  EXPECT_EQ(records[1].type, 40);
  EXPECT_EQ(records[1].bytes[6] | (records[1].bytes[7] << 8), records[0].handle);
}

int refused_adds = 0;
EFI_STATUS EFIAPI RefusingAdd(const EFI_SMBIOS_PROTOCOL*, EFI_HANDLE, EFI_SMBIOS_HANDLE*, EFI_SMBIOS_TABLE_HEADER*) {
  ++refused_adds;
  return EFI_OUT_OF_RESOURCES;
}

TEST_F(SlotRecordTest, ARefusedSlotRecordGetsNoDanglingAdditionalInformation) {
  Attach({});
  EFI_SMBIOS_PROTOCOL refusing{};
  refusing.Add = &RefusingAdd;
  *DriverProtocolCache(CachedSmbios) = &refusing;  // the table refuses every record
  auto entry = Slot(1, 0, 1);
  refused_adds = 0;
  EXPECT_EQ(BuildSlotRecord(&entry), EFI_SUCCESS);
  EXPECT_TRUE(Records().empty()) << "no type 40 may reference a record that is not there";
  EXPECT_EQ(refused_adds, 1) << "the type 40 record is not even offered";
}

}  // namespace
