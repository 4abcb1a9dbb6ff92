// The dump format written for the PCI utilities: header lines, 16-byte rows over the whole space, separators.
#include "tools/boardsim/lspci_dump_writer.h"

#include <gtest/gtest.h>

#include <sstream>

#include "sim/board/board_file.h"
#include "sim/common/virtual_clock.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

constexpr const char* kTwoFunctions = R"(
pci:
  functions:
    - {at: "0002:05:1f.0", vendor_id: 0x1234, device_id: 0xABCD, class_code: 0x020000}
    - {at: 04:00.0, name: first, vendor_id: 0x8086, device_id: 0x0001, revision: 0x5A, class_code: 0x010802}
)";

TEST(LspciDumpWriter, OneBlockPerFunctionInLocationOrderWithTheWholeSpace) {
  sim::VirtualClock clock;
  sim::PciBus bus(sim::ParseBoardText(kTwoFunctions, "two.yaml").pci, clock);
  const std::vector<std::string> lines = Lines(boardsim::LspciDumpText(bus));
  ASSERT_EQ(lines.size(), 2u * (1 + 256 + 1));
  EXPECT_EQ(lines[0], "04:00.0 Non-Volatile memory controller: first [8086:0001]");
  EXPECT_EQ(lines[1], "00: 86 80 01 00 06 00 00 00 5a 02 08 01 10 00 00 00");
  EXPECT_EQ(lines[16], "f0: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
  EXPECT_EQ(lines[17].substr(0, 5), "100: ");
  EXPECT_EQ(lines[256].substr(0, 5), "ff0: ");
  EXPECT_EQ(lines[257], "");
  // Off segment 0 the domain leads the slot. (Command 0x0006 and cache line 0x10: the enumerated state.)
  EXPECT_EQ(lines[258], "0002:05:1f.0 Ethernet controller: Device [1234:abcd]");
  EXPECT_EQ(lines[259], "00: 34 12 cd ab 06 00 00 00 00 00 00 02 10 00 00 00");
  EXPECT_EQ(lines.back(), "");
}

TEST(LspciDumpWriter, RowsHoldTheBytesTheFunctionReads) {
  sim::VirtualClock clock;
  sim::PciBus bus(sim::DefaultBoard().pci, clock);
  const std::vector<std::string> lines = Lines(boardsim::LspciDumpText(bus));
  // Each block's rows, parsed back, are the function's space as it reads now.
  size_t at = 0;
  size_t blocks = 0;
  while (at < lines.size()) {
    const std::string& head = lines[at];
    unsigned b = 0, d = 0, f = 0;
    ASSERT_EQ(std::sscanf(head.c_str(), "%x:%x.%x", &b, &d, &f), 3) << head;
    const sim::PciFunction* function =
        bus.Find({0, static_cast<uint8_t>(b), static_cast<uint8_t>(d), static_cast<uint8_t>(f)});
    ASSERT_NE(function, nullptr) << head;
    const auto space = function->Snapshot();
    for (size_t row = 0; row < 256; ++row) {
      std::istringstream in(lines[at + 1 + row]);
      std::string offset;
      in >> offset;
      ASSERT_EQ(std::stoul(offset, nullptr, 16), row * 16) << head;
      for (size_t i = 0; i < 16; ++i) {
        unsigned value = 0;
        in >> std::hex >> value;
        ASSERT_EQ(value, space[row * 16 + i]) << head << " offset " << row * 16 + i;
      }
    }
    at += 1 + 256 + 1;
    ++blocks;
  }
  EXPECT_EQ(blocks, bus.Functions().size());
}

TEST(LspciDumpWriter, NoFunctionsNoText) {
  sim::VirtualClock clock;
  sim::PciBus bus({}, clock);
  EXPECT_EQ(boardsim::LspciDumpText(bus), "");
}

}  // namespace
