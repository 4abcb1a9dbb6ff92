// Board files: the default board, the shipped examples, and the error messages of bad files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "tests/sim/board/board_text_error.h"
#include "tests/support/platform_checks.h"
#include "uefi/protocols/pci_io.h"

namespace {

std::string BoardPath(const std::string& name) { return std::string(BOARDS_DIR) + "/" + name; }

// The message of the error a board text raises ("" when it parses).
std::string ErrorOf(const std::string& text) { return board_test::ErrorOf(text, "test.yaml", ""); }

TEST(DefaultBoard, HoldsThePcdValuesAndTheFirmwareRecords) {
  sim::Board board = sim::DefaultBoard();
  EXPECT_EQ(board.name, "default");
  EXPECT_EQ(board.pcd.ecam_base, 0x80000000u);
  ASSERT_EQ(board.pcd.socket_bus_layout.size(), 72u);
  EXPECT_EQ(board.pcd.socket_bus_layout[0], 1);      // Valid
  EXPECT_EQ(board.pcd.socket_bus_layout[4], 1);      // socket 0 present
  EXPECT_EQ(board.pcd.socket_bus_layout[9], 0x3F);   // socket 0 stack mask
  EXPECT_EQ(board.pcd.socket_bus_layout[11], 0x16);  // socket 0 stack 1 bus
  ASSERT_EQ(board.smbios.size(), 4u);
  EXPECT_EQ(board.smbios[1].formatted[0], 1);
  EXPECT_EQ(board.smbios[1].formatted.size(), 0x1Bu);
}

TEST(DefaultBoard, AppliesToAPlatform) {
  sim::DxePlatform platform;
  sim::ApplyBoard(sim::DefaultBoard(), platform);
  PCD_PROTOCOL* pcd = platform.Pcd().Protocol();
  EXPECT_EQ(pcd->Get64(44), 0x80000000u);
  EXPECT_EQ(pcd->GetSize(30), 72u);
  EXPECT_EQ(pcd->Get32(180), 16000000u);
  auto records = platform.Smbios().Records();
  ASSERT_EQ(records.size(), 4u);
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].type, i);
    EXPECT_EQ(records[i].handle, i);
  }
  // Type 1 with a zero UUID.
  for (size_t i = 8; i < 24; ++i) EXPECT_EQ(records[1].bytes[i], 0) << i;
  EXPECT_EQ(records[1].strings.front(), "Example Systems");
  EXPECT_TRUE(sim_test::NoViolations(platform.Violations()));
}

TEST(ExampleBoards, ForeignRecordsHoldProbesAndAPowerSupply) {
  sim::Board board = sim::LoadBoardFile(BoardPath("foreign_records.yaml"));
  sim::DxePlatform platform;
  sim::ApplyBoard(board, platform);
  auto by_type = platform.Smbios().CountByType();
  for (uint8_t t : {1, 26, 27, 28, 29, 39, 0x80}) EXPECT_EQ(by_type[t], 1u) << int(t);
  for (const auto& r : platform.Smbios().Records()) {
    if (r.type == 28) {
      EXPECT_EQ(r.bytes[1], 0x16);
      EXPECT_EQ(r.bytes[6] | r.bytes[7] << 8, 1000);  // maximum
      EXPECT_EQ(r.strings, std::vector<std::string>{"CPU0 temperature"});
    }
    if (r.type == 39) {
      EXPECT_EQ(r.strings.size(), 7u);
      EXPECT_EQ(r.bytes[0x0C] | r.bytes[0x0D] << 8, 750);
    }
  }
  EXPECT_TRUE(sim_test::NoViolations(platform.Violations()));
}

TEST(ExampleBoards, FailingPlatformKeepsItsLongLayoutAndFaults) {
  sim::Board board = sim::LoadBoardFile(BoardPath("failing_platform.yaml"));
  EXPECT_EQ(board.pcd.socket_bus_layout.size(), 80u);
  EXPECT_EQ(board.pcd.socket_bus_layout[79], 0xAA);
  EXPECT_EQ(board.faults.fail_allocation, 3u);
  EXPECT_EQ(board.faults.absent_protocols, std::vector<std::string>{"ipmi"});
}

TEST(BoardText, StructuredLayoutLandsAtItsOffsets) {
  sim::Board board = sim::ParseBoardText(R"(
pcd:
  socket_bus_layout:
    valid: 1
    socket_present_mask: 0x81
    sockets:
      - {socket: 7, segment: 2, stack_present_mask: 0x05, stack_bus: [1, 2, 3]}
)",
                                         "t.yaml");
  const auto& l = board.pcd.socket_bus_layout;
  ASSERT_EQ(l.size(), 72u);
  EXPECT_EQ(l[4], 0x81);
  EXPECT_EQ(l[8 + 56], 2);
  EXPECT_EQ(l[8 + 57], 0x05);
  EXPECT_EQ(l[8 + 58], 1);
  EXPECT_EQ(l[8 + 60], 3);
  EXPECT_EQ(l[71], 0);
}

TEST(BoardText, RawRecordKeepsItsBytesAndStrings) {
  sim::Board board = sim::ParseBoardText(R"(
smbios:
  - type: 9
    handle: 0x20
    data: "01 B5 0B 03 03"
    strings: [JSLOT9]
)",
                                         "t.yaml");
  ASSERT_EQ(board.smbios.size(), 1u);
  EXPECT_TRUE(sim_test::BytesEqual(board.smbios[0].formatted, {9, 9, 0, 0, 1, 0xB5, 0x0B, 3, 3}));
  EXPECT_EQ(board.smbios[0].handle, 0x20);
  EXPECT_EQ(board.smbios[0].origin, "t.yaml:3");
}

TEST(BoardText, UuidIsStoredInSmbiosByteOrder) {
  sim::Board board = sim::ParseBoardText("smbios:\n  - {type: 1, uuid: 00112233-4455-6677-8899-AABBCCDDEEFF}\n", "t");
  const auto& f = board.smbios[0].formatted;
  EXPECT_TRUE(sim_test::BytesEqual(
      &f[8], 16,
      (const uint8_t[]){0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF},
      16));
}

TEST(BoardText, FailingPciIoReadsGoOnTheNamedFunctionsInstance) {
  sim::Board board = sim::ParseBoardText(
      "pci:\n  functions:\n    - {at: 05:00.0, vendor_id: 0x7A3B, device_id: 0x1593, class_code: 0x020000}\n"
      "faults:\n  fail_pci_io_reads:\n    - {at: 05:00.0, offsets: [0x2C]}\n",
      "t");
  ASSERT_EQ(board.faults.fail_pci_io_reads.size(), 1u);
  EXPECT_EQ(board.faults.fail_pci_io_reads[0].at, (sim::PciLocation{0, 0x05, 0, 0}));
  EXPECT_EQ(board.faults.fail_pci_io_reads[0].offsets, std::vector<uint16_t>{0x2C});
  sim::DxePlatform platform;
  sim::ApplyBoard(board, platform);
  EFI_GUID guid = EFI_PCI_IO_PROTOCOL_GUID;
  void* iface = nullptr;
  ASSERT_EQ(platform.Protocols().Locate(guid, &iface), EFI_SUCCESS);
  auto* io = static_cast<EFI_PCI_IO_PROTOCOL*>(iface);
  UINT32 ids = 0x12345678;
  EXPECT_EQ(io->Pci.Read(io, EfiPciIoWidthUint32, 0x2C, 1, &ids), EFI_DEVICE_ERROR);
  EXPECT_EQ(ids, 0x12345678u) << "a failed read leaves the buffer as it was";
  UINT8 bytes[4] = {0, 0, 0, 0};
  EXPECT_EQ(io->Pci.Read(io, EfiPciIoWidthUint8, 0x2A, 4, bytes), EFI_DEVICE_ERROR) << "it covers 0x2C";
  EXPECT_EQ(io->Pci.Read(io, EfiPciIoWidthUint32, 0x00, 1, &ids), EFI_SUCCESS);
  EXPECT_EQ(ids, 0x15937A3Bu);
  EXPECT_EQ(platform.Calls().Get("PciIo.Pci.Read failed"), 2u);
  EXPECT_TRUE(platform.Violations().Empty());
}

TEST(BoardText, FaultsApplyToThePlatform) {
  sim::Board board = sim::ParseBoardText("faults:\n  absent_protocols: [smbios, hii]\n  fail_allocation: 2\n", "t");
  sim::DxePlatform platform;
  sim::ApplyBoard(board, platform);
  EFI_GUID smbios = EFI_SMBIOS_PROTOCOL_GUID;
  VOID* iface = nullptr;
  EXPECT_EQ(platform.BootServices()->LocateProtocol(&smbios, nullptr, &iface), EFI_NOT_FOUND);
  VOID* a = nullptr;
  VOID* b = nullptr;
  EXPECT_EQ(platform.BootServices()->AllocatePool(EfiBootServicesData, 4, &a), EFI_SUCCESS);
  EXPECT_EQ(platform.BootServices()->AllocatePool(EfiBootServicesData, 4, &b), EFI_OUT_OF_RESOURCES);
  platform.BootServices()->FreePool(a);
}

// Every error names the file, the line and the field, says what is wrong and what to write.
struct BadBoard {
  const char* text;
  const char* expected;
};

class BoardErrors : public ::testing::TestWithParam<BadBoard> {};

TEST_P(BoardErrors, NameFileLineFieldAndFix) {
  const std::string message = ErrorOf(GetParam().text);
  EXPECT_NE(message.find(GetParam().expected), std::string::npos) << message;
  EXPECT_NE(message.find('('), std::string::npos) << "no fix in: " << message;
}

INSTANTIATE_TEST_SUITE_P(
    Messages, BoardErrors,
    ::testing::Values(
        BadBoard{"name: x\nbogus: 1\n", "test.yaml:2: field bogus: unknown section `bogus` (use one of: name, pcd"},
        BadBoard{"pcd:\n  ecam: 1\n", "test.yaml:2: field pcd.ecam: unknown key `ecam`"},
        BadBoard{"pcd:\n  ecam_base: lots\n", "test.yaml:2: field pcd.ecam_base: `lots` is not a number"},
        BadBoard{"pcd:\n  uuid_timestamp: 0x100000000\n",
                 "test.yaml:2: field pcd.uuid_timestamp: 0x100000000 is too large"},
        BadBoard{"pcd:\n  socket_bus_layout:\n    sockets:\n      - {socket: 8}\n",
                 "test.yaml:4: field pcd.socket_bus_layout.sockets[0].socket: 8 is too large"},
        BadBoard{"pcd:\n  socket_bus_layout:\n    sockets:\n      - {socket: 0, stack_bus: [1,2,3,4,5,6,7]}\n",
                 "test.yaml:4: field pcd.socket_bus_layout.sockets[0].stack_bus: 7 buses given"},
        BadBoard{"pcd:\n  socket_bus_layout:\n    bytes: \"01 0\"\n",
                 "test.yaml:3: field pcd.socket_bus_layout.bytes: odd number of hex digits"},
        BadBoard{"smbios:\n  - type: 9\n    data: \"02\"\n    strings: [A]\n",
                 "test.yaml:2: field smbios[0]: the record is malformed: field Slot Designation (offset 0x04) names "
                 "string 2"},
        BadBoard{"smbios:\n  - type: 7\n", "test.yaml:2: field smbios[0].data: missing for a type 7 record"},
        BadBoard{"smbios:\n  - data: \"00\"\n", "test.yaml:2: field smbios[0].type: missing"},
        BadBoard{"smbios:\n  - type: 1\n    colour: red\n",
                 "test.yaml:3: field smbios[0].colour: unknown key `colour` for a type 1 record"},
        BadBoard{"smbios:\n  - type: 28\n    description: "
                 "\"0123456789012345678901234567890123456789012345678901234567890123\"\n",
                 "test.yaml:3: field smbios[0].description: string of 64 characters (write at most 63"},
        BadBoard{"smbios:\n  - type: 39\n    location: \"\"\n", "test.yaml:3: field smbios[0].location: empty string"},
        BadBoard{"smbios:\n  - {type: 2, handle: 5, data: \"\"}\n  - {type: 3, handle: 5, data: \"\"}\n",
                 "test.yaml:3: field smbios[1].handle: handle 5 used by an earlier record"},
        BadBoard{"smbios:\n  - {type: 1, uuid: 1234}\n", "test.yaml:2: field smbios[0].uuid: `1234` is not a GUID"},
        BadBoard{"faults:\n  absent_protocols: [smbios, usb]\n",
                 "test.yaml:2: field faults.absent_protocols[1]: unknown protocol `usb` (use one of: smbios, pcd"},
        BadBoard{"faults:\n  fail_allocation: 0\n", "test.yaml:2: field faults.fail_allocation: allocation 0"},
        BadBoard{"faults:\n  fail_pci_io_reads:\n    - at: 05:00.0\n",
                 "test.yaml:3: field faults.fail_pci_io_reads[0].at: no function at 0000:05:00.0 in pci.functions"},
        BadBoard{"faults:\n  fail_pci_io_reads:\n    - offsets: [4]\n",
                 "test.yaml:3: field faults.fail_pci_io_reads[0].at: missing"},
        BadBoard{"pci:\n  functions:\n    - {at: 05:00.0, vendor_id: 0x7A3B}\nfaults:\n  fail_pci_io_reads:\n"
                 "    - {at: 05:00.0, offsets: [0x1000]}\n",
                 "test.yaml:6: field faults.fail_pci_io_reads[0].offsets[0]:"},
        BadBoard{"pcd:\n  ecam_base: 1\n  ecam_base: 2\n",
                 "test.yaml:3: field pcd.ecam_base: key `ecam_base` given twice"},
        BadBoard{"pcd: [1, 2\n", "test.yaml:"},
        BadBoard{"- 1\n- 2\n", "test.yaml:1: field (document): a board file is a mapping of sections"}));

TEST(BoardFile, MissingFileIsAnError) {
  try {
    sim::LoadBoardFile("/nonexistent/board.yaml");
    FAIL() << "no error";
  } catch (const sim::BoardFileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("/nonexistent/board.yaml:0: field (document): cannot read the file", 0), 0u)
        << e.what();
  }
}

TEST(BoardFile, ErrorCarriesItsParts) {
  try {
    sim::ParseBoardText("\n\nfaults:\n  fail_allocation: x\n", "b.yaml");
    FAIL() << "no error";
  } catch (const sim::BoardFileError& e) {
    EXPECT_EQ(e.File(), "b.yaml");
    EXPECT_EQ(e.Line(), 4);
    EXPECT_EQ(e.Field(), "faults.fail_allocation");
  }
}

}  // namespace
