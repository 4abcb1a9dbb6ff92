// The publishing callback: which records go, which stay, its result, and the power-supply step's lookup.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "sim/dxe/protocol_names.h"
#include "sim/dxe/smbios_record_check.h"
#include "smbios/entry/publish_board_smbios.h"
#include "tests/smbios/entry/entry_test_platform.h"
#include "uefi/protocols/ipmi_transport.h"
#include "uefi/status.h"

namespace {

class PublishTest : public entry_test::EntryTest {
 protected:
  // Adds a record to the table as another driver would have before the callback.
  uint16_t AddForeign(uint8_t type, uint8_t length) {
    std::vector<uint8_t> formatted(length, 0);
    formatted[0] = type;
    formatted[1] = length;
    std::vector<uint8_t> bytes = sim::BuildSmbiosRecord(formatted, {});
    EFI_SMBIOS_HANDLE handle = SMBIOS_HANDLE_PI_RESERVED;
    EXPECT_EQ(platform.Smbios().Add(&handle, reinterpret_cast<EFI_SMBIOS_TABLE_HEADER*>(bytes.data())), EFI_SUCCESS);
    return handle;
  }
  std::map<uint16_t, std::vector<uint8_t>> RecordsOfType(uint8_t type) {
    std::map<uint16_t, std::vector<uint8_t>> out;
    for (const auto& r : platform.Smbios().Records())
      if (r.type == type) out[r.handle] = r.bytes;
    return out;
  }
  size_t CountOf(uint8_t type) { return RecordsOfType(type).size(); }

  sim::CallbackOutcome EnterAndPublish() {
    EXPECT_EQ(Enter(), EFI_SUCCESS);
    return platform.DeclareEnumerationComplete();
  }
};

TEST_F(PublishTest, ForeignRecordsOfTheReplacedAndProbeTypesAreGoneOthersStay) {
  for (uint8_t type : {9, 39, 41, 26, 27, 28, 29, 26, 39}) AddForeign(type, type == 9 ? 0x11 : 8);
  uint16_t bios = AddForeign(0, 0x18);
  uint16_t system = AddForeign(1, 0x1B);
  uint16_t baseboard = AddForeign(2, 0x0F);
  auto kept_before = platform.Smbios().Records();

  sim::CallbackOutcome outcome = EnterAndPublish();
  ASSERT_TRUE(outcome.ran);

  for (uint8_t type : {26, 27, 28, 29, 39}) EXPECT_EQ(CountOf(type), 0u) << "type " << int(type);
  std::set<uint16_t> handles;
  for (const auto& r : platform.Smbios().Records()) handles.insert(r.handle);
  for (uint16_t h : {bios, system, baseboard}) EXPECT_TRUE(handles.count(h)) << "handle " << h;
  for (const auto& before : kept_before) {
    if (before.type > 2) continue;
    EXPECT_EQ(RecordsOfType(before.type).at(before.handle), before.bytes) << "type " << int(before.type);
  }
}

TEST_F(PublishTest, OneSlotRecordPerSlotEntryAfterTheCallback) {
  AddForeign(9, 0x11);
  AddForeign(9, 0x11);
  sim::CallbackOutcome outcome = EnterAndPublish();
  ASSERT_TRUE(outcome.ran);
  EXPECT_EQ(outcome.status, EFI_SUCCESS);
  ASSERT_NE(DriverSlotTable()->Count, 0u);
  EXPECT_EQ(CountOf(9), DriverSlotTable()->Count);
}

// PCD token 30 of size 0: the layout stays all zero (Valid 0), and after entry and callback every slot is still
// published, with its default location: no bus (0xFF), segment 0, device/function 0, usage unknown.
TEST_F(PublishTest, EmptyBusLayoutTokenPublishesEverySlotWithoutABusLocation) {
  platform.Pcd().SetPointer(sim::kPcdSocketBusLayout, {});
  sim::CallbackOutcome outcome = EnterAndPublish();
  ASSERT_TRUE(outcome.ran);
  EXPECT_EQ(outcome.status, EFI_SUCCESS);
  EXPECT_EQ(DriverSocketBusLayout()->Valid, 0);
  auto records = platform.Smbios().Records();
  std::vector<std::string> designations;
  for (size_t i = 0; i < records.size(); ++i) {
    const auto& r = records[i];
    if (r.type != 9) continue;
    ASSERT_EQ(r.bytes[1], 0x11);
    ASSERT_EQ(r.strings.size(), 1u);
    designations.push_back(r.strings[0]);
    EXPECT_EQ(r.bytes[0x07], 0x02) << r.strings[0] << ": current usage unknown";
    EXPECT_EQ(r.bytes[0x0C], 0x05) << r.strings[0];
    EXPECT_EQ(r.bytes[0x0D] | (r.bytes[0x0E] << 8), 0) << r.strings[0] << ": segment";
    EXPECT_EQ(r.bytes[0x0F], 0xFF) << r.strings[0] << ": no bus";
    EXPECT_EQ(r.bytes[0x10], 0x00) << r.strings[0] << ": device/function";
    ASSERT_LT(i + 1, records.size());
    EXPECT_EQ(records[i + 1].type, 40) << "each slot record is followed by its type 40 record";
    EXPECT_EQ(records[i + 1].bytes[6] | (records[i + 1].bytes[7] << 8), r.handle);
  }
  EXPECT_EQ(designations, (std::vector<std::string>{"JSLOT1", "JSLOT2", "JSLOT3", "JSLOT4"}));
  EXPECT_TRUE(sim_test::NoViolations(platform.Violations()));
}

TEST_F(PublishTest, EmptySlotTableIsNotFoundAndTheOtherStepsStillRun) {
  AddForeign(27, 8);
  AddForeign(39, 8);
  ASSERT_EQ(Enter(), EFI_SUCCESS);
  DriverSlotTable()->Count = 0;
  sim::CallbackOutcome outcome = platform.DeclareEnumerationComplete();
  ASSERT_TRUE(outcome.ran);
  EXPECT_EQ(outcome.status, EFI_NOT_FOUND);
  EXPECT_EQ(CountOf(9), 0u);
  EXPECT_EQ(CountOf(27), 0u);
  EXPECT_EQ(CountOf(39), 0u);
}

// An IPMI transport that counts the commands sent to it and answers each with a device error.
struct CountingIpmi {
  IPMI_TRANSPORT_PROTOCOL protocol{};
  static inline int sends = 0;
  static EFI_STATUS EFIAPI Send(IPMI_TRANSPORT_PROTOCOL*, UINT8, UINT8, UINT8, UINT8*, UINT8, UINT8*, UINT32*) {
    ++sends;
    return EFI_DEVICE_ERROR;
  }
};

TEST_F(PublishTest, PowerSupplyStepRunsOnlyWithTheIpmiTransport) {
  CountingIpmi::sends = 0;
  ASSERT_TRUE(EnterAndPublish().ran);
  EXPECT_EQ(CountingIpmi::sends, 0);
  EXPECT_EQ(CountOf(39), 0u);
}

TEST_F(PublishTest, PowerSupplyStepTalksToAnInstalledIpmiTransport) {
  CountingIpmi ipmi;
  ipmi.protocol.SendIpmiCommand = &CountingIpmi::Send;
  CountingIpmi::sends = 0;
  platform.Protocols().InstallOnNewHandle(*sim::ProtocolGuidByName("ipmi"), &ipmi.protocol, "test ipmi");
  ASSERT_TRUE(EnterAndPublish().ran);
  EXPECT_GT(CountingIpmi::sends, 0);
}

TEST_F(PublishTest, CallingTheCallbackDirectlyRunsTheSameSteps) {
  AddForeign(28, 8);
  ASSERT_EQ(Enter(), EFI_SUCCESS);
  EXPECT_EQ(PublishBoardSmbios(), EFI_SUCCESS);
  EXPECT_EQ(CountOf(28), 0u);
  EXPECT_EQ(CountOf(9), DriverSlotTable()->Count);
}

}  // namespace
