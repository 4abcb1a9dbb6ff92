// One printed block per record: header line, formatted area in hex lines of 16, strings, decoded fields.
#include <gtest/gtest.h>

#include <sstream>

#include "sim/dxe/smbios_record_check.h"
#include "tools/boardsim/table_printer.h"

namespace {

TEST(PrintRecord, UndecodedTypeShowsHexAndStrings) {
  std::vector<uint8_t> formatted(0x12, 0xAB);
  formatted[0] = 2;
  formatted[1] = 0x12;
  sim::SmbiosRecordView view{0x0031, 2, sim::BuildSmbiosRecord(formatted, {"Board", "v1"}), {"Board", "v1"}};
  std::ostringstream out;
  boardsim::PrintRecord(out, view);
  EXPECT_EQ(out.str(),
            "Handle 0x0031, type 2, length 18 (0x12), 28 bytes with strings\n"
            "  Formatted area:\n"
            "    02 12 AB AB AB AB AB AB AB AB AB AB AB AB AB AB\n"
            "    AB AB\n"
            "  Strings:\n"
            "    1: \"Board\"\n"
            "    2: \"v1\"\n");
}

TEST(PrintRecord, DecodedTypeAddsItsFieldsIndentedByDepth) {
  std::vector<uint8_t> formatted = {9, 0x11, 0, 0, 1, 0xB5, 0x0B, 0x02, 0x03, 0x01, 0x00, 0x04, 0x05, 0, 0, 0xFF, 0};
  sim::SmbiosRecordView view{0x0005, 9, sim::BuildSmbiosRecord(formatted, {"JSLOT1"}), {"JSLOT1"}};
  std::ostringstream out;
  boardsim::PrintRecord(out, view);
  std::string text = out.str();
  EXPECT_NE(text.find("  Strings:\n    1: \"JSLOT1\"\n  System Slots:\n    Slot Designation: 1 \"JSLOT1\"\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\n      Slot Device Class: 0 (none)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Current Usage: 0x02 (Unknown)"), std::string::npos) << text;
}

}  // namespace
