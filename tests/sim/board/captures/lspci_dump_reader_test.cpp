// The dump-text reader: functions with their bytes and addresses, and every malformed input refused at its line.
#include "sim/board/captures/lspci_dump_reader.h"

#include <gtest/gtest.h>

#include "sim/board/captures/capture_error.h"
#include "tests/sim/board/captures/capture_texts.h"

namespace {

using capture_test::DumpText;
using capture_test::Space;

TEST(LspciDumpReader, ReadsEveryFunctionWithItsBytesAddressAndDescription) {
  std::vector<uint8_t> big = Space(4096, 0x8086, 0x1572);
  big[0xFFF] = 0x5A;
  const std::string text = DumpText("00:1c.0 PCI bridge: Root Port (rev 10)", Space(64, 0x8086, 0xA110, 1, 2, 3)) +
                           "\n" + DumpText("0001:02:00.1 Ethernet controller: NIC", big) + "\n" +
                           DumpText("ff:1f.7", Space(256, 0x1234, 0x5678));
  const auto functions = sim::ReadLspciDump(text);
  ASSERT_EQ(functions.size(), 3u);
  EXPECT_EQ(functions[0].location, (sim::PciLocation{0, 0, 0x1C, 0}));
  EXPECT_EQ(functions[0].description, "PCI bridge: Root Port (rev 10)");
  EXPECT_EQ(functions[0].config, Space(64, 0x8086, 0xA110, 1, 2, 3));
  EXPECT_EQ(functions[0].line, 1u);
  EXPECT_EQ(functions[1].location, (sim::PciLocation{1, 2, 0, 1}));
  EXPECT_EQ(functions[1].config.size(), 4096u);
  EXPECT_EQ(functions[1].config[0xFFF], 0x5A);
  EXPECT_EQ(functions[1].line, 7u);
  EXPECT_EQ(functions[2].location, (sim::PciLocation{0, 0xFF, 0x1F, 7}));
  EXPECT_EQ(functions[2].description, "");
  EXPECT_EQ(functions[2].config.size(), 256u);
}

TEST(LspciDumpReader, SkipsVerboseDecodeLinesAndCarriageReturnsAndUpperCaseHex) {
  std::string text =
      "00:02.0 VGA compatible controller: X\r\n"
      "\tSubsystem: Y\r\n"
      "\tCapabilities: [40] Power Management\r\n";
  std::string bytes = DumpText("h", Space(64, 0xABCD, 0x1234)).substr(2);  // the data lines alone
  for (char& ch : bytes) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  text += bytes + "\n\n\n";
  const auto functions = sim::ReadLspciDump(text);
  ASSERT_EQ(functions.size(), 1u);
  EXPECT_EQ(functions[0].config[0], 0xCD);
  EXPECT_EQ(functions[0].config[1], 0xAB);
  EXPECT_TRUE(sim::ReadLspciDump("").empty());
  EXPECT_TRUE(sim::ReadLspciDump("\n \n").empty());
}

TEST(LspciDumpReader, AHeaderRightAfterTheBytesStartsTheNextFunction) {
  const std::string text = DumpText("00:00.0 a", Space(64, 1, 2)) + DumpText("00:01.0 b", Space(64, 3, 4));
  const auto functions = sim::ReadLspciDump(text);
  ASSERT_EQ(functions.size(), 2u);
  EXPECT_EQ(functions[1].config[0], 3);
}

struct BadDump {
  const char* name;
  std::string text;
  size_t line;
  const char* problem;
};

std::string Lines(size_t bytes) { return DumpText("00:00.0 x", std::vector<uint8_t>(bytes, 0x11)); }

// The dump of 64 bytes with line `n` (1-based, the header is line 1) replaced.
std::string WithLine(size_t n, const std::string& replacement) {
  std::string text = Lines(64);
  size_t start = 0;
  for (size_t i = 1; i < n; ++i) start = text.find('\n', start) + 1;
  const size_t end = text.find('\n', start);
  return text.substr(0, start) + replacement + text.substr(end);
}

class LspciDumpErrors : public ::testing::TestWithParam<BadDump> {};

TEST_P(LspciDumpErrors, RefusedAtTheLineWithTheProblem) {
  const BadDump& bad = GetParam();
  try {
    sim::ReadLspciDump(bad.text);
    ADD_FAILURE() << bad.name << ": accepted";
  } catch (const sim::CaptureError& e) {
    EXPECT_EQ(e.Where(), bad.line) << bad.name << ": " << e.what();
    EXPECT_NE(std::string(e.what()).find(bad.problem), std::string::npos) << bad.name << ": " << e.what();
    EXPECT_FALSE(e.Fix().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LspciDumpErrors,
    ::testing::Values(
        BadDump{"line of 15 bytes", WithLine(3, "10: 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e"), 3, "truncated"},
        BadDump{"line of 17 bytes", WithLine(3, "10: 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10"), 3,
                "after the 16th byte"},
        BadDump{"not hex", WithLine(2, "00: 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e zz"), 2, "byte 15"},
        BadDump{"one digit", WithLine(2, "00: 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0"), 2, "byte 15"},
        BadDump{"three digits", WithLine(2, "00: 000 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f"), 2, "byte 0"},
        BadDump{"offset skipped", WithLine(3, "20: 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f"), 3,
                "out of order"},
        BadDump{"offset repeated", WithLine(3, "00: 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f"), 3,
                "out of order"},
        BadDump{"one-digit offset", WithLine(2, "0: 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f"), 2,
                "not 2 or 3 hex digits"},
        BadDump{"4096 bytes and one line more", Lines(4096) + "ff0: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n",
                258, "past the 4096-byte"},
        BadDump{"stops at 48 bytes", Lines(48), 4, "stops after 48 bytes"},
        BadDump{"stops at 80 bytes", Lines(80), 6, "stops after 80 bytes"},
        BadDump{"stops at 240 bytes", Lines(240), 16, "stops after 240 bytes"},
        BadDump{"stops at 272 bytes", Lines(272), 18, "stops after 272 bytes"},
        BadDump{"stops at 4080 bytes", Lines(4080), 256, "stops after 4080 bytes"},
        BadDump{"header without bytes", "00:00.0 x\n\n", 1, "has no configuration bytes"},
        BadDump{"function twice", Lines(64) + "\n" + Lines(64), 7, "twice (first at line 1)"},
        BadDump{"data before a header", "00: 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\n", 1,
                "before any function header"},
        BadDump{"decode line before a header", "\tSubsystem: x\n", 1, "before any function header"},
        BadDump{"garbage header", "hello world\n", 1, "neither a function header"},
        BadDump{"device 20", "00:20.0 x\n", 1, "out of range"}, BadDump{"function 8", "00:00.8 x\n", 1, "out of range"},
        BadDump{"header glued to text", "00:00.0x\n", 1, "neither a function header"},
        BadDump{"three-digit bus", "000:00.0 x\n", 1, "neither a function header"},
        BadDump{"short domain", "000:00:00.0 x\n", 1, "neither a function header"}),
    [](const ::testing::TestParamInfo<BadDump>& info) { return capture_test::RowName(info.param.name); });

}  // namespace
