// Captures in board files: lspci dumps (whole or placed, subtrees renumbered), `config:` and `vpd: {file:}`
// functions, SMBIOS dumps and sysfs tables with YAML records after them, FRU files; and the errors for bad
// captures, each naming the capture or the board line and a fix.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "sim/board/board_file.h"
#include "sim/board/captures/smbios_dump_writer.h"
#include "sim/dxe/smbios_record_check.h"
#include "sim/pci/pci_bus.h"
#include "tests/sim/board/captures/capture_texts.h"

namespace {

using capture_test::DumpText;
using capture_test::Space;

class CaptureBoard : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("capture_board_" + std::to_string(getpid()) + "_" +
                                                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& text) {
    const auto path = dir_ / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    return Write(name, std::string(bytes.begin(), bytes.end()));
  }
  // Loads board.yaml with `text`; captures are named relative to it.
  sim::Board Load(const std::string& text) { return sim::LoadBoardFile(Write("board.yaml", text)); }
  std::string ErrorOf(const std::string& text) {
    try {
      Load(text);
    } catch (const sim::BoardFileError& e) {
      return e.what();
    }
    return "no error";
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
};

// A root port at 00:1c.0 leading to buses 2..3, a switch port at 02:00.0 leading to 3, a card at 03:00.0.
std::string SmallTree() {
  return DumpText("00:1c.0 PCI bridge: root port", Space(256, 0x8086, 0xA110, 1, 2, 3, 0)) + "\n" +
         DumpText("02:00.0 PCI bridge: switch", Space(256, 0x10B5, 0x8747, 1, 3, 3, 2)) + "\n" +
         DumpText("03:00.0 Ethernet controller: card", Space(4096, 0x15B3, 0x1017)) + "\n" +
         DumpText("00:1f.0 ISA bridge", Space(64, 0x8086, 0xA1C1));
}

const sim::PciFunctionSpec* At(const sim::Board& board, sim::PciLocation l) {
  for (const auto& f : board.pci)
    if (f.location == l) return &f;
  return nullptr;
}

TEST_F(CaptureBoard, AWholeDumpIsTakenAtItsOwnAddressesWithItsExactBytes) {
  Write("tree.lspci", SmallTree());
  sim::Board board = Load("pci:\n  captures:\n    - lspci_dump: tree.lspci\n");
  ASSERT_EQ(board.pci.size(), 4u);
  const auto* card = At(board, {0, 3, 0, 0});
  ASSERT_NE(card, nullptr);
  ASSERT_TRUE(card->captured.has_value());
  EXPECT_EQ(card->captured->bytes, Space(4096, 0x15B3, 0x1017));
  EXPECT_EQ(card->vendor_id, 0x15B3);
  EXPECT_EQ(card->name, "Ethernet controller: card");
  EXPECT_EQ(card->origin, Path("tree.lspci") + ":37");
  // On the bus the bytes read back as captured; past a 64-byte capture they read 0.
  sim::VirtualClock clock;
  sim::PciBus bus(board.pci, clock);
  EXPECT_EQ(bus.Find({0, 3, 0, 0})->Read(0, 4), 0x101715B3u);
  EXPECT_EQ(bus.Find({0, 0, 0x1F, 0})->Read(0x100, 4), 0u);
  EXPECT_EQ(bus.Find({0, 0, 0x1F, 0})->Read(0x40, 4), 0u);
  EXPECT_EQ(bus.EnumerationOrder().size(), 4u);
}

TEST_F(CaptureBoard, APlacedBridgeBringsItsSubtreeRenumbered) {
  Write("tree.lspci", SmallTree());
  sim::Board board = Load(
      "pci:\n"
      "  functions:\n"
      "    - {at: 16:00.0, vendor_id: 0x8086, header_type: 1, secondary_bus: 0x17, subordinate_bus: 0x1A}\n"
      "  captures:\n"
      "    - lspci_dump: tree.lspci\n"
      "      place: [{from: 00:1c.0, at: 17:00.0, bus: 0x18}]\n");
  ASSERT_EQ(board.pci.size(), 4u) << "the ISA bridge is not placed";
  const auto* port = At(board, {0, 0x17, 0, 0});
  const auto* sw = At(board, {0, 0x18, 0, 0});
  const auto* card = At(board, {0, 0x19, 0, 0});
  ASSERT_TRUE(port && sw && card);
  EXPECT_EQ(port->captured->bytes[0x18], 0x17);
  EXPECT_EQ(port->captured->bytes[0x19], 0x18);
  EXPECT_EQ(port->captured->bytes[0x1A], 0x19);
  EXPECT_EQ(port->secondary_bus, 0x18);
  EXPECT_EQ(port->subordinate_bus, 0x19);
  EXPECT_EQ(sw->captured->bytes[0x18], 0x18);
  EXPECT_EQ(sw->captured->bytes[0x19], 0x19);
  EXPECT_EQ(sw->captured->bytes[0x1A], 0x19);
  EXPECT_EQ(card->vendor_id, 0x15B3);
  EXPECT_EQ(card->origin, Path("board.yaml") + ":6");
}

TEST_F(CaptureBoard, ConfigFilesAndVpdFilesMakeFunctions) {
  std::vector<uint8_t> space = Space(256, 0x1E6D, 0x0A01);
  space[0x06] = 0x10;  // capability list
  space[0x34] = 0x50;
  space[0x50] = 0x03;  // VPD capability
  Write("cards/config", space);
  Write("cards/vpd", std::vector<uint8_t>{0x82, 0x03, 0x00, 'N', 'I', 'C', 0x78});
  sim::Board board = Load(
      "pci:\n"
      "  functions:\n"
      "    - {at: 17:00.0, name: card, config: cards/config, vpd: {file: cards/vpd, delay_us: 5}}\n"
      "    - {at: 18:00.0, vendor_id: 1, capabilities: [{vpd: {file: cards/vpd}}]}\n");
  ASSERT_EQ(board.pci.size(), 2u);
  EXPECT_EQ(board.pci[0].name, "card");
  EXPECT_EQ(board.pci[0].captured->vpd.image.size(), 7u);
  EXPECT_EQ(board.pci[0].captured->vpd.delay_us, 5u);
  EXPECT_EQ(board.pci[1].capabilities[0].vpd.image[0], 0x82);
  // The VPD device answers at the captured capability: the address write, then flag and data after the delay.
  sim::VirtualClock clock;
  sim::PciBus bus(board.pci, clock);
  sim::Violations violations;
  sim::PciFunction* card = bus.Find({0, 0x17, 0, 0});
  card->Write(0x52, 2, 0x0000, violations);
  EXPECT_EQ(card->Read(0x52, 2) & 0x8000, 0u);
  clock.Advance(5);
  EXPECT_EQ(card->Read(0x52, 2) & 0x8000, 0x8000u);
  EXPECT_EQ(card->Read(0x54, 4), 0x4E000382u);
  EXPECT_TRUE(violations.Messages().empty());
}

TEST_F(CaptureBoard, SmbiosDumpsAndSysfsTablesKeepHandlesAndTakeYamlRecordsAfter) {
  std::vector<uint8_t> system = {1, 0x1B, 0, 0};
  system.resize(0x1B, 0);
  system[4] = 1;
  std::vector<sim::SmbiosRecordView> records = {
      {0x0100, 1, sim::BuildSmbiosRecord(system, {"Maker"}), {"Maker"}},
      {0x0007, 2, sim::BuildSmbiosRecord({2, 4, 0, 0}, {}), {}},
  };
  for (auto kind : {sim::EntryPointKind::Smbios21, sim::EntryPointKind::Smbios30}) {
    const std::vector<uint8_t> dump = sim::BuildDmiDump(records, kind);
    Write("dmi.bin", dump);
    sim::Board board = Load("smbios:\n  dump: dmi.bin\n  records:\n    - {type: 28, description: CPU}\n");
    ASSERT_EQ(board.smbios.size(), 3u) << "the end-of-table record is dropped";
    EXPECT_EQ(board.smbios[0].handle, 0x0100);
    EXPECT_EQ(board.smbios[0].strings, std::vector<std::string>{"Maker"});
    std::vector<uint8_t> with_handle = system;
    with_handle[2] = 0x00, with_handle[3] = 0x01;  // the table's bytes hold the handle
    EXPECT_EQ(board.smbios[0].formatted, with_handle);
    EXPECT_EQ(board.smbios[1].handle, 0x0007);
    EXPECT_FALSE(board.smbios[2].handle.has_value());
    EXPECT_EQ(board.smbios[2].formatted[0], 28);
    // The sysfs pair: the entry point alone and the table alone.
    const size_t entry_length = kind == sim::EntryPointKind::Smbios21 ? 0x1F : 0x18;
    Write("dmi/smbios_entry_point", std::vector<uint8_t>(dump.begin(), dump.begin() + entry_length));
    Write("dmi/DMI", std::vector<uint8_t>(dump.begin() + 0x20, dump.end()));
    sim::Board sysfs = Load("smbios: {sysfs: dmi}\n");
    ASSERT_EQ(sysfs.smbios.size(), 2u);
    EXPECT_EQ(sysfs.smbios[1].handle, 0x0007);
  }
  EXPECT_NE(ErrorOf("smbios:\n  dump: dmi.bin\n  records:\n    - {type: 28, handle: 7, description: CPU}\n")
                .find("board.yaml:4: field smbios.records[0].handle: handle 7 used by a captured record"),
            std::string::npos);
  EXPECT_EQ(Load("smbios:\n  - {type: 28, description: CPU}\n").smbios.size(), 1u) << "the plain list still works";
}

TEST_F(CaptureBoard, FruFilesAreWhatTheBmcServes) {
  std::vector<uint8_t> image(256, 0);
  image[0] = 1;
  Write("psu1.fru", image);
  sim::Board board = Load("bmc:\n  supplies:\n    - {supply: 1, fru_file: psu1.fru}\n");
  EXPECT_EQ(board.bmc->supplies.at(1).fru, image);
}

struct BadCapture {
  const char* name;
  std::string file;  // capture file written as `capture.bin` or `capture.lspci`
  std::string contents;
  std::string board;
  std::string expected;  // a fragment of the message, FILE:LINE included
};

std::vector<uint8_t> Dump21() {
  return sim::BuildDmiDump({{5, 2, sim::BuildSmbiosRecord({2, 4, 0, 0}, {}), {}}}, sim::EntryPointKind::Smbios21);
}
std::string Str(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }
std::string Bumped(std::vector<uint8_t> b, size_t at) {
  ++b[at];
  return Str(b);
}
// Sets one byte and moves the checksum byte at `checksum` so the sum stays what it was.
std::vector<uint8_t> WithByte(std::vector<uint8_t> b, size_t at, uint8_t v, size_t checksum) {
  b[checksum] = static_cast<uint8_t>(b[checksum] + b[at] - v);
  b[at] = v;
  return b;
}
size_t LinesOf(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

class CaptureBoardErrors : public CaptureBoard, public ::testing::WithParamInterface<BadCapture> {};

TEST_P(CaptureBoardErrors, NameTheFileTheLineAndAFix) {
  const BadCapture& bad = GetParam();
  Write(bad.file, bad.contents);
  std::string expected = bad.expected;
  for (size_t slot = expected.find('@'); slot != std::string::npos; slot = expected.find('@', slot))
    expected.replace(slot, 1, Path(""));
  const std::string message = ErrorOf(bad.board);
  EXPECT_NE(message.find(expected), std::string::npos) << bad.name << ": " << message;
  EXPECT_NE(message.find(" ("), std::string::npos) << bad.name << ": no fix in " << message;
}

const std::string kTree = SmallTree();
const std::string kPlace = "pci:\n  captures:\n    - lspci_dump: capture.lspci\n      place:\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, CaptureBoardErrors,
    ::testing::Values(
        BadCapture{"truncated dump line", "capture.lspci", "00:00.0 x\n00: 00 01\n",
                   "pci: {captures: [{lspci_dump: capture.lspci}]}\n",
                   "@capture.lspci:2: field pci.captures[0]"
                   ".lspci_dump: truncated dump line"},
        BadCapture{"offset out of order", "capture.lspci",
                   "00:00.0 x\n10: 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\n",
                   "pci: {captures: [{lspci_dump: capture.lspci}]}\n",
                   "@capture.lspci:2: field pci.captures[0]"
                   ".lspci_dump: offset 0x10 out of order"},
        BadCapture{"function twice", "capture.lspci", kTree + "\n" + kTree,
                   "pci: {captures: [{lspci_dump: capture.lspci}]}\n",
                   "@capture.lspci:" + std::to_string(LinesOf(kTree) + 2) +
                       ": field pci.captures[0].lspci_dump: function 0000:00:1C.0 twice"},
        BadCapture{"empty dump", "capture.lspci", "\n", "pci: {captures: [{lspci_dump: capture.lspci}]}\n",
                   "board.yaml:1: field pci.captures[0].lspci_dump: `@capture.lspci` holds no function"},
        BadCapture{"missing dump", "other", "", "pci: {captures: [{lspci_dump: capture.lspci}]}\n",
                   "board.yaml:1: field pci.captures[0].lspci_dump: `@capture.lspci` is not a readable file"},
        BadCapture{"captured and YAML function at one address", "capture.lspci", kTree,
                   "pci:\n  functions:\n    - {at: 03:00.0, vendor_id: 1}\n  captures:\n"
                   "    - lspci_dump: capture.lspci\n",
                   "@capture.lspci:37: field pci.captures[0].lspci_dump: a second function at 0000:03:00.0 (the "
                   "first from @board.yaml:3, pci.functions[0])"},
        BadCapture{"placement onto an occupied address", "capture.lspci", kTree,
                   "pci:\n  functions:\n    - {at: 00:02.0, vendor_id: 1}\n  captures:\n"
                   "    - lspci_dump: capture.lspci\n      place: [{from: 03:00.0, at: 00:02.0}]\n",
                   "board.yaml:6: field pci.captures[0].place[0]: a second function at 0000:00:02.0"},
        BadCapture{"placement onto a bus no bridge leads to", "capture.lspci", kTree,
                   kPlace + "        - {from: 03:00.0, at: 71:00.0}\n",
                   "board.yaml:5: field pci.captures[0].place[0]: placed at 0000:71:00.0, on bus 0x71, which no "
                   "bridge leads to"},
        BadCapture{"placement from a missing function", "capture.lspci", kTree,
                   kPlace + "        - {from: 05:00.0, at: 00:02.0}\n",
                   "board.yaml:5: field pci.captures[0].place[0]: no function 0000:05:00.0 in the capture"},
        BadCapture{"placed twice", "capture.lspci", kTree,
                   kPlace + "        - {from: 00:1c.0, at: 00:1c.0, bus: 2}\n        - {from: 03:00.0, at: 00:03.0}\n",
                   "board.yaml:6: field pci.captures[0].place[1]: function 0000:03:00.0 of the capture is taken "
                   "twice (also by place[0])"},
        BadCapture{"bridge without bus", "capture.lspci", kTree, kPlace + "        - {from: 00:1c.0, at: 00:1c.0}\n",
                   "board.yaml:5: field pci.captures[0].place[0]: missing `bus` for the bridge"},
        BadCapture{"bus on an endpoint", "capture.lspci", kTree,
                   kPlace + "        - {from: 03:00.0, at: 00:03.0, bus: 4}\n",
                   "board.yaml:5: field pci.captures[0].place[0]: 0000:03:00.0 is not a bridge"},
        BadCapture{"renumbered past bus FF", "capture.lspci", kTree,
                   kPlace + "        - {from: 00:1c.0, at: 00:1c.0, bus: 0xFF}\n",
                   "board.yaml:5: field pci.captures[0].place[0]: renumbering the subtree"},
        BadCapture{"config of 128 bytes", "capture.bin", std::string(128, '\0'),
                   "pci: {functions: [{at: 01:00.0, config: capture.bin}]}\n",
                   "board.yaml:1: field pci.functions[0].config: `@capture.bin` at offset 0x80: 128 bytes of "
                   "configuration space"},
        BadCapture{"config larger than 4096", "capture.bin", std::string(4097, '\0'),
                   "pci: {functions: [{at: 01:00.0, config: capture.bin}]}\n",
                   "board.yaml:1: field pci.functions[0].config: `@capture.bin` holds more than 4096 bytes"},
        BadCapture{"fields with config", "capture.bin", Str(Space(64, 1, 2)),
                   "pci: {functions: [{at: 01:00.0, config: capture.bin, vendor_id: 3}]}\n",
                   "field pci.functions[0].vendor_id: `vendor_id` given together with `config`"},
        BadCapture{"vpd for a capture without the capability", "capture.bin", Str(Space(64, 1, 2)),
                   "pci: {functions: [{at: 01:00.0, config: capture.bin, vpd: {file: capture.bin}}]}\n",
                   "field pci.functions[0].vpd: `@capture.bin` holds no VPD capability"},
        BadCapture{
            "vpd past 32768 bytes", "capture.bin", std::string(32769, '\0'),
            "pci: {functions: [{at: 01:00.0, vendor_id: 1, capabilities: [{vpd: {file: capture.bin}}]}]}\n",
            "field pci.functions[0].capabilities[0].vpd.file: `@capture.bin` at offset 0x8000: 32769 bytes of VPD"},
        BadCapture{"entry point checksum", "capture.bin", Bumped(Dump21(), 0x04), "smbios: {dump: capture.bin}\n",
                   "board.yaml:1: field smbios.dump: `@capture.bin` at offset 0x04: 2.1 entry point checksum does "
                   "not match"},
        BadCapture{"intermediate checksum", "capture.bin", Str(WithByte(Dump21(), 0x15, 0x00, 0x04)),
                   "smbios: {dump: capture.bin}\n",
                   "`@capture.bin` at offset 0x15: 2.1 entry point's intermediate checksum"},
        BadCapture{"table address", "capture.bin",
                   Str(WithByte(sim::BuildDmiDump({}, sim::EntryPointKind::Smbios30), 0x10, 0x21, 0x05)),
                   "smbios: {dump: capture.bin}\n",
                   "field smbios.dump: `@capture.bin` at offset 0x10: table address 0x21 in the entry point"},
        BadCapture{"truncated table", "capture.bin", Str(Dump21()).substr(0, 0x23), "smbios: {dump: capture.bin}\n",
                   "the table of 12 bytes runs past the end of the file (35 bytes)"},
        BadCapture{"fru image of 127 bytes", "capture.bin", std::string(127, '\1'),
                   "bmc: {supplies: [{supply: 1, fru_file: capture.bin}]}\n",
                   "board.yaml:1: field bmc.supplies[0].fru_file: `@capture.bin`: a FRU image of 127 bytes"},
        BadCapture{"fru image past 65536 bytes", "capture.bin", std::string(65537, '\1'),
                   "bmc: {supplies: [{supply: 1, fru_file: capture.bin}]}\n",
                   "field bmc.supplies[0].fru_file: `@capture.bin`: a FRU image of 65537 bytes"},
        BadCapture{"sysfs folder without its entry point", "d/DMI", std::string(5, '\0'), "smbios: {sysfs: d}\n",
                   "field smbios.sysfs: `@d/smbios_entry_point` is not a readable file"}),
    [](const ::testing::TestParamInfo<BadCapture>& info) { return capture_test::RowName(info.param.name); });

}  // namespace
