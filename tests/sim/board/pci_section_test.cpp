// The board file's `pci` section: parsing into function descriptions and the errors for inconsistent input,
// each naming the file, the line and the field.
#include <gtest/gtest.h>

#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "sim/pci/vpd_image.h"
#include "uefi/protocols/pci_io.h"

namespace {

std::string Board(const std::string& functions) { return "pci:\n  functions:\n" + functions; }

const char* kRootPort =
    "    - at: 16:00.0\n"
    "      vendor_id: 0x7A3B\n"
    "      header_type: 1\n"
    "      secondary_bus: 0x17\n"
    "      subordinate_bus: 0x18\n"
    "      capabilities:\n"
    "        - express: {port: root_port, link_active: true}\n";

void ExpectError(const std::string& text, int line, const std::string& field, const std::string& problem) {
  try {
    sim::ParseBoardText(text, "test.yaml");
    ADD_FAILURE() << "accepted; expected " << problem;
  } catch (const sim::BoardFileError& e) {
    EXPECT_EQ(e.File(), "test.yaml");
    EXPECT_EQ(e.Line(), line) << e.what();
    EXPECT_EQ(e.Field(), field) << e.what();
    EXPECT_NE(std::string(e.what()).find(problem), std::string::npos) << e.what();
  }
}

TEST(PciBoardSection, FunctionsParseWithCapabilitiesAndVpd) {
  const std::string text = Board(std::string(kRootPort) +
                                 "    - at: 0000:17:00.0\n"
                                 "      name: card\n"
                                 "      vendor_id: 0x7A3B\n"
                                 "      device_id: 0x1593\n"
                                 "      class_code: 0x020000\n"
                                 "      subsystem_vendor_id: 0x1E6D\n"
                                 "      capabilities:\n"
                                 "        - vpd:\n"
                                 "            delay_us: 7\n"
                                 "            answered_reads: 3\n"
                                 "            identifier: NIC\n"
                                 "            writable: {VB: [0, 0], YA: {hex: \"41 42\"}}\n"
                                 "        - other: {id: 0x05, bytes: \"00 00\", offset: 0x80}\n"
                                 "      pokes:\n"
                                 "        - {offset: 0x3C, bytes: \"0B\"}\n");
  sim::Board board = sim::ParseBoardText(text, "test.yaml");
  ASSERT_EQ(board.pci.size(), 2u);
  const auto& card = board.pci[1];
  EXPECT_EQ(card.location, (sim::PciLocation{0, 0x17, 0, 0}));
  EXPECT_EQ(card.name, "card");
  EXPECT_EQ(card.subsystem_vendor_id, 0x1E6D);
  ASSERT_EQ(card.capabilities.size(), 2u);
  EXPECT_EQ(card.capabilities[0].vpd.delay_us, 7u);
  EXPECT_EQ(card.capabilities[0].vpd.answered_reads, 3u);
  auto vpd = sim::DecodeVpdImage(card.capabilities[0].vpd.image);
  ASSERT_EQ(vpd.resources.size(), 2u);
  EXPECT_EQ(vpd.resources[0].identifier, "NIC");
  EXPECT_EQ(vpd.resources[1].keywords[1].data, (std::vector<uint8_t>{'A', 'B'}));
  EXPECT_EQ(card.capabilities[1].offset, 0x80);
  EXPECT_EQ(card.pokes.at(0).offset, 0x3C);
  EXPECT_EQ(board.pci[0].subordinate_bus, 0x18);
}

TEST(PciBoardSection, TwoFunctionsAtOneLocation) {
  ExpectError(Board(std::string(kRootPort) + "    - at: 17:00.0\n"
                                             "      vendor_id: 1\n"
                                             "    - at: 17:00.0\n"
                                             "      vendor_id: 2\n"),
              12, "pci.functions[2].location", "a second function at 0000:17:00.0");
}

TEST(PciBoardSection, CapabilityOutsideTheSpace) {
  ExpectError(Board("    - at: 17:00.0\n"
                    "      vendor_id: 1\n"
                    "      capabilities:\n"
                    "        - other: {id: 9, bytes: \"00 00 00 00\", offset: 0xFC}\n"),
              6, "pci.functions[0].capabilities[0].offset", "runs past the 256-byte");
}

TEST(PciBoardSection, OverlappingBridgeRanges) {
  ExpectError(Board(std::string(kRootPort) + "    - at: 16:02.0\n"
                                             "      vendor_id: 0x7A3B\n"
                                             "      header_type: 1\n"
                                             "      secondary_bus: 0x18\n"
                                             "      subordinate_bus: 0x19\n"),
              13, "pci.functions[1].secondary_bus", "overlaps range 0x17..0x18");
}

TEST(PciBoardSection, BadValuesNameTheirField) {
  ExpectError(Board("    - at: 17:20.0\n      vendor_id: 1\n"), 3, "pci.functions[0].at", "out of range");
  ExpectError(Board("    - vendor_id: 1\n"), 3, "pci.functions[0].at", "missing");
  ExpectError(Board("    - at: 17:00.0\n      vendor_id: 1\n      secondary_bus: 2\n"), 5,
              "pci.functions[0].secondary_bus", "header type 0");
  ExpectError(Board("    - at: 17:00.0\n      vendor_id: 1\n      capabilities:\n        - express: {port: hub}\n"), 6,
              "pci.functions[0].capabilities[0].express.port", "unknown port type");
  ExpectError(Board("    - at: 17:00.0\n      vendor_id: 1\n      capabilities:\n"
                    "        - vpd: {image: \"78\", identifier: x}\n"),
              6, "pci.functions[0].capabilities[0].vpd.image", "given together");
}

TEST(PciBoardSection, DefaultBoardPutsItsFunctionsBehindTheWindow) {
  sim::Board board = sim::DefaultBoard();
  EXPECT_GE(board.pci.size(), 10u);
  sim::DxePlatform platform;
  sim::ApplyBoard(board, platform);
  const EFI_GUID guid = EFI_PCI_IO_PROTOCOL_GUID;
  EXPECT_EQ(platform.Protocols().HandlesWith(guid).size(), board.pci.size());
  EXPECT_EQ(platform.Bus().Read(board.pcd.ecam_base + (0x17u << 20), 2), 0x7A3Bu);
  EXPECT_TRUE(platform.Violations().Empty()) << platform.Violations().Joined();
}

// Functions marked as gone (a card and the bridge in front of it) were enumerated before they went: they keep their
// PCI I/O handles, but the window and Pci.Read answer all ones for every register (VPD registers included), writes
// are dropped without a violation, and a neighbour is unaffected.
TEST(PciBoardSection, FunctionThatReadsAllOnesAnswersAllOnesOnBothPaths) {
  sim::Board board = sim::DefaultBoard();
  bool marked = false;
  for (sim::PciFunctionSpec& f : board.pci) {
    if (f.location == sim::PciLocation{0, 0x17, 0, 0}) f.reads_all_ones = marked = true;
    if (f.location == sim::PciLocation{0, 0x16, 0, 0}) f.reads_all_ones = true;  // its bridge: found before it went
  }
  ASSERT_TRUE(marked);
  sim::DxePlatform platform;
  sim::ApplyBoard(board, platform);
  const uint64_t function = board.pcd.ecam_base + (0x17u << 20);
  EXPECT_EQ(platform.Bus().Read(function, 4), 0xFFFFFFFFu);
  EXPECT_EQ(platform.Bus().Read(function + 0x0E, 1), 0xFFu);
  for (uint16_t reg = 0x40; reg < 0x100; reg += 2) EXPECT_EQ(platform.Bus().Read(function + reg, 2), 0xFFFFu) << reg;
  platform.Bus().Write(function + 0x04, 2, 0x0006);
  EXPECT_EQ(platform.Bus().Read(function + 0x04, 2), 0xFFFFu);
  EXPECT_EQ(platform.Bus().Read(function + (1u << 12), 2), 0x7A3Bu);  // 17:00.1

  const EFI_GUID guid = EFI_PCI_IO_PROTOCOL_GUID;
  EXPECT_EQ(platform.Protocols().HandlesWith(guid).size(), board.pci.size());
  bool found = false;
  for (EFI_HANDLE handle : platform.Protocols().HandlesWith(guid)) {
    void* interface = nullptr;
    ASSERT_EQ(platform.Protocols().Lookup(handle, guid, &interface), EFI_SUCCESS);
    auto* io = static_cast<EFI_PCI_IO_PROTOCOL*>(interface);
    UINTN segment = 0, bus = 0, device = 0, fn = 0;
    ASSERT_EQ(io->GetLocation(io, &segment, &bus, &device, &fn), EFI_SUCCESS);
    if (bus != 0x17 || fn != 0) continue;
    found = true;
    UINT32 ids[2] = {0, 0};
    EXPECT_EQ(io->Pci.Read(io, EfiPciIoWidthUint32, 0, 2, ids), EFI_SUCCESS);
    EXPECT_EQ(ids[0], 0xFFFFFFFFu);
    EXPECT_EQ(ids[1], 0xFFFFFFFFu);
  }
  EXPECT_TRUE(found);
  EXPECT_TRUE(platform.Violations().Empty()) << platform.Violations().Joined();
}

TEST(PciBoardSection, ReadsAllOnesIsParsed) {
  sim::Board board = sim::ParseBoardText(Board("    - at: 17:00.0\n      vendor_id: 1\n      reads_all_ones: true\n"
                                               "    - at: 18:00.0\n      vendor_id: 1\n"),
                                         "test.yaml");
  ASSERT_EQ(board.pci.size(), 2u);
  EXPECT_TRUE(board.pci[0].reads_all_ones);
  EXPECT_FALSE(board.pci[1].reads_all_ones);
  ExpectError(Board("    - at: 17:00.0\n      vendor_id: 1\n      reads_all_ones: maybe\n"), 5,
              "pci.functions[0].reads_all_ones", "");
}

}  // namespace
