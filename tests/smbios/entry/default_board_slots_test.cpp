// The whole driver on the built-in default board: four slot records in table order, each followed by its
// Additional Information record, the network card's VPD carrying the slot in "VB".
#include <gtest/gtest.h>

#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "sim/pci/vpd_image.h"
#include "tests/support/driver_test_platform.h"

namespace {

TEST(DefaultBoardSlots, FourSlotRecordsEachFollowedByItsAdditionalInformation) {
  sim::BootedBoard booted = driver_test::BootDriver(sim::DefaultBoard());
  ASSERT_TRUE(sim_test::NoViolations(booted.platform->Violations()));
  std::vector<sim::SmbiosRecordView> slots;
  std::vector<sim::SmbiosRecordView> infos;
  auto records = booted.platform->Smbios().Records();
  for (size_t i = 0; i < records.size(); ++i) {
    if (records[i].type != 9) continue;
    slots.push_back(records[i]);
    ASSERT_LT(i + 1, records.size());
    EXPECT_EQ(records[i + 1].type, 40);
    EXPECT_EQ(records[i + 1].bytes[6] | (records[i + 1].bytes[7] << 8), records[i].handle);
    infos.push_back(records[i + 1]);
  }
  ASSERT_EQ(slots.size(), 4u);
  const struct {
    const char* name;
    uint8_t usage, char2, bus, devfn;
  } expected[] = {{"JSLOT1", 0x04, 0x25, 0x17, 0x00},
                  {"JSLOT2", 0x04, 0x15, 0x18, 0x00},
                  {"JSLOT3", 0x03, 0x05, 0x30, 0x00},
                  {"JSLOT4", 0x04, 0x35, 0x34, 0x00}};
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(slots[i].strings, std::vector<std::string>{expected[i].name});
    EXPECT_EQ(slots[i].bytes[0x07], expected[i].usage);
    EXPECT_EQ(slots[i].bytes[0x09], i + 1) << "slot ID";
    EXPECT_EQ(slots[i].bytes[0x0C], expected[i].char2);
    EXPECT_EQ(slots[i].bytes[0x0F], expected[i].bus);
    EXPECT_EQ(slots[i].bytes[0x10], expected[i].devfn);
  }
  // Only the JSLOT1 card (subsystem vendor 0x1E6D) carries VPD; its "VB" names slot 1.
  ASSERT_GT(infos[0].bytes[1], 33);
  for (size_t i = 1; i < 4; ++i) EXPECT_EQ(infos[i].bytes[1], 33);
  std::vector<uint8_t> vpd(infos[0].bytes.begin() + 0x21, infos[0].bytes.begin() + infos[0].bytes[1]);
  sim::DecodedVpd decoded = sim::DecodeVpdImage(vpd);
  EXPECT_TRUE(decoded.end_tag);
  bool found = false;
  for (const auto& r : decoded.resources) {
    if (r.tag == sim::kVpdTagReadOnly) {
      EXPECT_TRUE(r.checksum_ok.value_or(false));
    }
    for (const auto& k : r.keywords) {
      if (r.tag == sim::kVpdTagWritable && k.name == "VB") {
        found = true;
        EXPECT_EQ(k.data, (std::vector<uint8_t>{0x00, 0x01}));
      }
    }
  }
  EXPECT_TRUE(found);
}

}  // namespace
