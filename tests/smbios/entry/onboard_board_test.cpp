// Onboard device records, the onboard MAC address and the system UUID, through whole driver runs on boards
// that place, move or remove the video controller, the LAN function and the chipset network controller.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "tests/support/driver_test_platform.h"

namespace {

// Socket 0 with stack 3 on bus 0x4A, the window at 2 GiB, a type 1 record with a zero UUID; the PCI functions
// and the PCD minutes value come from each test.
std::string BoardText(const std::string& functions, uint32_t minutes = 16000000,
                      const std::string& type1 = "uuid: 00000000-0000-0000-0000-000000000000") {
  return "pcd:\n"
         "  ecam_base: 0x80000000\n"
         "  uuid_timestamp: " +
         std::to_string(minutes) +
         "\n"
         "  socket_bus_layout:\n"
         "    valid: 1\n"
         "    socket_present_mask: 0x1\n"
         "    sockets:\n"
         "      - {socket: 0, segment: 0, stack_present_mask: 0x3F, stack_bus: [0x00, 0x16, 0x30, 0x4A, 0x64, 0x7E]}\n"
         "smbios:\n"
         "  - type: 1\n"
         "    handle: 0x0001\n"
         "    " +
         type1 +
         "\n"
         "pci:\n"
         "  functions:\n" +
         functions;
}

const std::string kRootPorts =
    "    - {at: 00:1C.0, vendor_id: 0x7A3B, header_type: 1, class_code: 0x060400, secondary_bus: 0x01}\n"
    "    - {at: 00:1C.4, vendor_id: 0x7A3B, header_type: 1, class_code: 0x060400, secondary_bus: 0x02}\n"
    "    - {at: 00:1C.5, vendor_id: 0x7A3B, header_type: 1, class_code: 0x060400, secondary_bus: 0x03, "
    "subordinate_bus: 0x04}\n"
    "    - {at: 4A:03.0, vendor_id: 0x7A3B, header_type: 1, class_code: 0x060400, secondary_bus: 0x4B}\n";
const std::string kVideoBehindBridge =
    "    - {at: 03:00.0, vendor_id: 0x7A3B, device_id: 0x2090, header_type: 1, class_code: 0x060400, "
    "secondary_bus: 0x04}\n"
    "    - {at: 04:00.0, vendor_id: 0x7A3B, device_id: 0x2500, class_code: 0x030000}\n";
const std::string kLanWithV2 =
    "    - at: 4B:00.0\n"
    "      vendor_id: 0x7A3B\n"
    "      device_id: 0x1589\n"
    "      class_code: 0x020000\n"
    "      capabilities: [{vpd: {identifier: LAN, read_only: {V2: \"0a1B2c3D4e5F\"}}}]\n";

// A network controller on bus 2 (below 00:1C.4) with a 2 MiB BAR at 0xA0000000 holding `contents`.
std::string Controller(uint16_t vendor, uint16_t device, const std::string& contents) {
  char head[160];
  std::snprintf(head, sizeof head,
                "    - {at: 02:00.0, vendor_id: 0x%04X, device_id: 0x%04X, class_code: 0x020000, memory_bar: "
                "{address: 0xA0000000, size: 0x200000, contents: [",
                vendor, device);
  return head + contents + "]}}\n";
}

struct BoardRun {
  sim::BootedBoard booted;
  std::vector<sim::SmbiosRecordView> records;
};

BoardRun Boot(const std::string& text) {
  BoardRun run;
  run.booted = driver_test::BootDriver(sim::ParseBoardText(text, "onboard.yaml"));
  run.records = run.booted.platform->Smbios().Records();
  return run;
}

std::array<uint8_t, 16> Uuid(const BoardRun& run) {
  std::array<uint8_t, 16> u{};
  for (const auto& r : run.records) {
    if (r.type == 1 && r.bytes.size() >= 24) std::copy(r.bytes.begin() + 8, r.bytes.begin() + 24, u.begin());
  }
  return u;
}

std::array<uint8_t, 6> Node(const BoardRun& run) {
  const auto u = Uuid(run);
  return {u[10], u[11], u[12], u[13], u[14], u[15]};
}

// The type 41 records, each with the type 40 record that follows it in the table.
struct Onboard {
  sim::SmbiosRecordView device;
  sim::SmbiosRecordView info;
};
std::vector<Onboard> OnboardRecords(const BoardRun& run) {
  std::vector<Onboard> out;
  for (size_t i = 0; i < run.records.size(); ++i) {
    if (run.records[i].type != 41) continue;
    EXPECT_LT(i + 1, run.records.size());
    if (i + 1 < run.records.size()) out.push_back({run.records[i], run.records[i + 1]});
  }
  return out;
}

uint16_t Le16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

// Device Type (enabled bit included) and Bus Number of a type 41 record.
::testing::AssertionResult DeviceIs(const Onboard& o, uint8_t type, uint8_t bus) {
  if (o.device.bytes[5] == type && o.device.bytes[9] == bus) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << (o.device.strings.empty() ? "" : o.device.strings[0])
                                       << "\": device type " << int(o.device.bytes[5]) << ", bus "
                                       << int(o.device.bytes[9]) << "; expected " << int(type) << ", " << int(bus);
}

void ExpectClean(const BoardRun& run) {
  const auto& s = run.booted.result.summary;
  EXPECT_TRUE(s.leaks.empty());
  EXPECT_TRUE(s.refused_adds.empty());
  EXPECT_TRUE(s.violations.empty()) << (s.violations.empty() ? "" : s.violations.front());
}

// Boots the root ports with the devices behind them, expects a clean run and returns both onboard records.
std::vector<Onboard> CleanOnboardPair(const std::string& devices) {
  const BoardRun run = Boot(BoardText(kRootPorts + devices));
  ExpectClean(run);
  auto onboard = OnboardRecords(run);
  EXPECT_EQ(onboard.size(), 2u);
  return onboard;
}

// The board fault key `fail_pci_io_reads`: every Pci.Read of the video controller's PCI I/O instance fails. The
// controller is still found (through the window and GetLocation); its type 40 identity is the filler.
TEST(OnboardBoard, AVideoControllerWhosePciIoReadsFailGetsTheFillerIdentity) {
  const BoardRun run = Boot(BoardText(kRootPorts + kVideoBehindBridge + kLanWithV2) +
                            "faults:\n  fail_pci_io_reads:\n    - at: 04:00.0\n");
  ExpectClean(run);
  EXPECT_GE(run.booted.result.summary.calls.at("PciIo.Pci.Read failed"), 5u);
  const auto onboard = OnboardRecords(run);
  ASSERT_EQ(onboard.size(), 2u);
  EXPECT_TRUE(DeviceIs(onboard[0], 0x83, 0x04));
  const std::vector<uint8_t>& info = onboard[0].info.bytes;
  ASSERT_EQ(info[0], 40);
  EXPECT_EQ(info[1], 33);
  EXPECT_EQ((std::vector<uint8_t>(info.begin() + 0x10, info.begin() + 0x1B)),
            (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Le16(onboard[1].info.bytes, 0x0A + 8), 0x1589) << "the LAN's reads are unaffected";
}

TEST(OnboardBoard, FoundDevicesAreEnabledAtTheirBusesEachFollowedByItsIdentity) {
  const BoardRun run = Boot(BoardText(kRootPorts + kVideoBehindBridge + kLanWithV2));
  ExpectClean(run);
  const auto onboard = OnboardRecords(run);
  ASSERT_EQ(onboard.size(), 2u);
  // Video: bus 3 holds a bridge and is passed over; the ordinary function is on bus 4.
  EXPECT_TRUE(DeviceIs(onboard[0], 0x83, 0x04));
  EXPECT_EQ(onboard[0].device.bytes[4], 1) << "designation is string 1";
  EXPECT_EQ(onboard[0].device.strings.at(0), "Aspeed Video 2500");
  EXPECT_TRUE(DeviceIs(onboard[1], 0x85, 0x4B));
  EXPECT_EQ(onboard[1].device.bytes[10], 0x00);
  EXPECT_EQ(onboard[1].device.strings.at(0), "Drask Ethernet Lambda ");
  for (const auto& o : onboard) {
    ASSERT_EQ(o.info.type, 40);
    EXPECT_EQ(Le16(o.info.bytes, 6), o.device.handle);
    EXPECT_EQ(o.info.bytes[1], 33);  // onboard devices never carry VPD
  }
  EXPECT_EQ(Le16(onboard[0].info.bytes, 0x0A + 8), 0x2500);  // the video controller's device ID
  EXPECT_EQ(Le16(onboard[1].info.bytes, 0x0A + 8), 0x1589);
}

TEST(OnboardBoard, DefaultBoardHasBothDevicesAndAUuidFromItsClockAndController) {
  BoardRun run;
  run.booted = driver_test::BootDriver(sim::DefaultBoard());
  run.records = run.booted.platform->Smbios().Records();
  ExpectClean(run);
  const auto onboard = OnboardRecords(run);
  ASSERT_EQ(onboard.size(), 2u);
  EXPECT_TRUE(DeviceIs(onboard[0], 0x83, 0x04));
  EXPECT_TRUE(DeviceIs(onboard[1], 0x85, 0x4B));
  // 16000000 minutes after 1996-01-01: T = (16000000 + 217329120) * 600000000 = 0x01F15EF584034000.
  const std::array<uint8_t, 16> want = {0x00, 0x40, 0x03, 0x84, 0xF5, 0x5E, 0xF1, 0x11,
                                        0x80, 0x00, 0x02, 0x5E, 0x10, 0x20, 0x30, 0x40};
  EXPECT_EQ(Uuid(run), want);
}

TEST(OnboardBoard, MissingDevicesGiveTheNotFoundFormsStillFollowedByTheFillerIdentity) {
  const BoardRun run = Boot(BoardText(kRootPorts));
  ExpectClean(run);
  const auto onboard = OnboardRecords(run);
  ASSERT_EQ(onboard.size(), 2u);
  EXPECT_EQ(onboard[0].device.bytes[5], 0x03);
  EXPECT_EQ(onboard[1].device.bytes[5], 0x05);
  for (const auto& o : onboard) {
    EXPECT_EQ(o.device.bytes[9], 0x00);
    ASSERT_EQ(o.info.type, 40);
    EXPECT_EQ(Le16(o.info.bytes, 6), o.device.handle);
    EXPECT_EQ(Le16(o.info.bytes, 0x0A + 6), 0xFFFF);  // no device: vendor ID filler
  }
}

TEST(OnboardBoard, ShippedBoardWithMovedDevicesGivesTheNotFoundFormsAndTheReceiveAddressNode) {
  BoardRun run;
  run.booted = driver_test::BootDriver(sim::LoadBoardFile(BOARDS_DIR "/onboard_devices_moved.yaml"));
  run.records = run.booted.platform->Smbios().Records();
  ExpectClean(run);
  const auto onboard = OnboardRecords(run);
  ASSERT_EQ(onboard.size(), 2u);
  EXPECT_EQ(onboard[0].device.bytes[5], 0x03);
  EXPECT_EQ(onboard[1].device.bytes[5], 0x05);
  for (const auto& o : onboard) {
    EXPECT_EQ(o.device.bytes[9], 0x00);
    ASSERT_EQ(o.info.type, 40);
    EXPECT_EQ(Le16(o.info.bytes, 6), o.device.handle);
  }
  EXPECT_EQ(Node(run), (std::array<uint8_t, 6>{0x02, 0x5E, 0x10, 0xAA, 0xBB, 0xCC}));
}

TEST(OnboardBoard, VideoBridgeWithSecondaryAboveSubordinateFindsNothing) {
  // The board's own checks refuse such a bridge, so the bus numbers are poked after rendering.
  const std::string ports =
      "    - {at: 00:1C.0, vendor_id: 0x7A3B, header_type: 1, class_code: 0x060400, secondary_bus: 0x01}\n"
      "    - {at: 00:1C.5, vendor_id: 0x7A3B, header_type: 1, class_code: 0x060400, secondary_bus: 0x03, "
      "subordinate_bus: 0x04, pokes: [{offset: 0x19, bytes: \"04 03\"}]}\n";
  const BoardRun run = Boot(BoardText(ports + kVideoBehindBridge));
  const auto onboard = OnboardRecords(run);
  ASSERT_EQ(onboard.size(), 2u);
  EXPECT_TRUE(DeviceIs(onboard[0], 0x03, 0x00));
}

TEST(OnboardBoard, AFoundVideoControllerLeavesNoBusInTheMissingLanRecord) {
  const auto onboard = CleanOnboardPair(kVideoBehindBridge);
  ASSERT_EQ(onboard.size(), 2u);
  EXPECT_TRUE(DeviceIs(onboard[0], 0x83, 0x04));
  EXPECT_TRUE(DeviceIs(onboard[1], 0x05, 0x00));
}

TEST(OnboardBoard, MultiFunctionDeviceOnTheScannedBusCountsAsOrdinary) {
  const std::string video =
      "    - {at: 03:00.0, vendor_id: 0x7A3B, device_id: 0x2500, class_code: 0x030000}\n"
      "    - {at: 03:00.1, vendor_id: 0x7A3B, device_id: 0x2501, class_code: 0x040300}\n";
  const auto onboard = CleanOnboardPair(video);
  ASSERT_EQ(onboard.size(), 2u);
  EXPECT_TRUE(DeviceIs(onboard[0], 0x83, 0x03));
}

TEST(OnboardBoard, LanOnFunctionOneIsPublishedAsDeviceZeroFunctionZero) {
  const std::string lan =
      "    - {at: 4B:00.0, vendor_id: 0x7A3B, device_id: 0x1111, class_code: 0x020080}\n"
      "    - {at: 4B:00.1, vendor_id: 0x7A3B, device_id: 0x1589, class_code: 0x020000}\n";
  const auto onboard = CleanOnboardPair(lan);
  ASSERT_EQ(onboard.size(), 2u);
  EXPECT_TRUE(DeviceIs(onboard[1], 0x85, 0x4B));
  EXPECT_EQ(onboard[1].device.bytes[10], 0x00);
  EXPECT_EQ(Le16(onboard[1].info.bytes, 0x0A + 8), 0x1111);  // function 0 of bus 0x4B is described
}

TEST(OnboardBoard, OtherNetworkSubclassBelowTheLanPortIsNeverSelected) {
  const std::string lan = "    - {at: 4B:00.0, vendor_id: 0x7A3B, device_id: 0x1111, class_code: 0x028000}\n";
  const BoardRun run = Boot(BoardText(kRootPorts + lan));
  const auto onboard = OnboardRecords(run);
  ASSERT_EQ(onboard.size(), 2u);
  EXPECT_EQ(onboard[1].device.bytes[5], 0x05);
}

// UUID: the time fields from the PCD minutes value, the node from the chipset network controller.
TEST(SystemUuidBoard, PortRegisterControllerGivesTheNodeAndTheTimeFieldsFollowThePcd) {
  const BoardRun run = Boot(BoardText(kRootPorts + kLanWithV2 +
                                          Controller(0x7A3B, 0x3E05,
                                                     "{offset: 0x1E4440, bytes: \"02 5E 10 20\"}, "
                                                     "{offset: 0x1E44C0, bytes: \"30 40\"}"),
                                      1));
  ExpectClean(run);
  const std::array<uint8_t, 16> want = {0x00, 0x86, 0xEE, 0x79, 0xCF, 0x43, 0xCF, 0x11,
                                        0x80, 0x00, 0x02, 0x5E, 0x10, 0x20, 0x30, 0x40};
  EXPECT_EQ(Uuid(run), want);
}

TEST(SystemUuidBoard, LowReceiveAddressControllerIsReadAtSixtyFour) {
  const BoardRun run =
      Boot(BoardText(kRootPorts + Controller(0x7A3B, 0x3F00, "{offset: 0x40, bytes: \"02 11 22 33 44 55\"}")));
  ExpectClean(run);
  EXPECT_EQ(Node(run), (std::array<uint8_t, 6>{0x02, 0x11, 0x22, 0x33, 0x44, 0x55}));
}

TEST(SystemUuidBoard, OtherReceiveAddressControllerIsReadAt0x5400) {
  const BoardRun run = Boot(BoardText(kRootPorts + Controller(0x7A3B, 0x3F40,
                                                              "{offset: 0x5400, bytes: \"02 66 77 88 99 AA\"}, "
                                                              "{offset: 0x40, bytes: \"FF FF FF FF FF FF\"}")));
  ExpectClean(run);
  EXPECT_EQ(Node(run), (std::array<uint8_t, 6>{0x02, 0x66, 0x77, 0x88, 0x99, 0xAA}));
}

TEST(SystemUuidBoard, UnlistedControllerFallsBackToTheLanVpdKeyword) {
  const BoardRun run = Boot(
      BoardText(kRootPorts + kLanWithV2 + Controller(0x1234, 0x3E05, "{offset: 0x1E4440, bytes: \"EE EE EE EE\"}")));
  ExpectClean(run);
  EXPECT_EQ(Node(run), (std::array<uint8_t, 6>{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}));
  // Without the LAN function there is nothing to fall back on: the node stays zero.
  const BoardRun alone =
      Boot(BoardText(kRootPorts + Controller(0x1234, 0x3E05, "{offset: 0x1E4440, bytes: \"EE EE EE EE\"}")));
  ExpectClean(alone);
  EXPECT_EQ(Node(alone), (std::array<uint8_t, 6>{}));
}

TEST(SystemUuidBoard, ListedControllerWithoutAnAddressInItsBarIsNotReadAtAll) {
  // BAR 0/1 read zero: the registers would lie at 0x1E4440 (port registers) or 0x40 / 0x5400 (receive
  // address) of address 0, where nothing answers.
  for (const char* device : {"0x3E05", "0x3F00", "0x3F40"}) {
    const std::string controller =
        std::string("    - {at: 02:00.0, vendor_id: 0x7A3B, device_id: ") + device + ", class_code: 0x020000}\n";
    const BoardRun run = Boot(BoardText(kRootPorts + kLanWithV2 + controller));
    ExpectClean(run);  // a read at a stray address would be a violation
    EXPECT_EQ(Node(run), (std::array<uint8_t, 6>{})) << device;
  }
}

TEST(SystemUuidBoard, NoControllerBelowTheChipsetPortLeavesTheNodeZeroWithoutTheFallback) {
  const BoardRun run = Boot(BoardText(kRootPorts + kLanWithV2));
  ExpectClean(run);
  EXPECT_EQ(Node(run), (std::array<uint8_t, 6>{}));
  EXPECT_EQ(Uuid(run)[8], 0x80);  // the time fields are still written
}

TEST(SystemUuidBoard, NoTimeOfDayLeavesTheTimeFieldsZeroButKeepsTheNode) {
  const BoardRun run = Boot(BoardText(kRootPorts + kLanWithV2 + Controller(0x1234, 1, ""), 2400));
  const auto u = Uuid(run);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(u[i], 0) << i;
  EXPECT_EQ(Node(run), (std::array<uint8_t, 6>{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}));
}

TEST(SystemUuidBoard, AUuidWithOneNonZeroByteIsLeftAlone) {
  const BoardRun run = Boot(BoardText(kRootPorts + kLanWithV2, 1, "uuid: 00000000-0000-0000-0000-000000000001"));
  ExpectClean(run);
  std::array<uint8_t, 16> want{};
  want[15] = 1;
  EXPECT_EQ(Uuid(run), want);
}

TEST(SystemUuidBoard, TypeOneRecordEndingWithItsUuidFieldIsWritten) {
  // An SMBIOS 2.1 System Information record: four string fields and the UUID, Length 24.
  const std::string type1 =
      "data: \"01 02 03 04 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\"\n    strings: [Maker, Box, \"1\", SN1]";
  const BoardRun run = Boot(BoardText(kRootPorts + kLanWithV2, 1, type1));
  ExpectClean(run);
  const std::array<uint8_t, 16> want = {0x00, 0x86, 0xEE, 0x79, 0xCF, 0x43, 0xCF, 0x11, 0x80, 0x00, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(Uuid(run), want);
}

TEST(SystemUuidBoard, TypeOneRecordWithoutAUuidFieldIsNotWritten) {
  // An SMBIOS 2.0 System Information record: four string fields, Length 8.
  const std::string type1 = "data: \"01 02 03 04\"\n    strings: [Maker, Box, \"1\", SN1]";
  const BoardRun run = Boot(BoardText(kRootPorts + kLanWithV2, 1, type1));
  ExpectClean(run);  // a write past the record would damage the table's copy: reported at the end of the run
  bool seen = false;
  for (const auto& r : run.records) {
    if (r.type != 1) continue;
    seen = true;
    EXPECT_EQ(r.bytes[1], 8);
    EXPECT_EQ(r.strings, (std::vector<std::string>{"Maker", "Box", "1", "SN1"}));
  }
  EXPECT_TRUE(seen);
}

}  // namespace
