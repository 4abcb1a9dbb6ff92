// boardsim trace: the built-in sequence end to end on the wire, the codes file and its errors, and the
// report a firmware engineer reads.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "sim/board/board_file.h"
#include "tools/boardsim/trace_command.h"

namespace {

using boardsim::TraceCode;

struct Expected {
  int severity;  // -1: no message
  std::string text;
};

// What each code of the built-in sequence must become; the record address of code 9 is filled in.
std::vector<Expected> ExpectedBuiltIn() {
  const std::string caller = " 6B4DC5A1-0F3E-4C21-9A57-135EC288047D";
  return {
      {4, ""},
      {4, "Platform PEI: board straps read\r\n"},
      {4, "Memory: 2048 MiB, top of low memory 0x7F000000\r\n"},
      {2, "PlatformInit: PMC read failed - Device Error\r\n"},
      {4, "Recovery: no capsule found, boot mode 0x20\r\n"},
      {-1, ""},
      {2, "ERROR: C80000002:V0301000A I0\r\n"},
      {2, "ERROR: C40000002:V03058001 I1" + caller + "\r\n"},
      {2, "ERROR: C80000002:V01040006 I0" + caller + " <address>\r\n"},
      {1, "\r\nPEI_ASSERT!: Platform/MemoryInit/MemoryInit.c (512): Hob != NULL\r\n"},
      {0, "Undefined: C3:V0 I0\r\n"},
      {0, "Undefined: C3:V3000010 I0\r\n"},
  };
}

TEST(BuiltInSequence, EveryCodeArrivesOnChannel14AsTheExpectedTextAndSeverity) {
  const auto codes = boardsim::BuiltInTraceCodes();
  const auto expected = ExpectedBuiltIn();
  ASSERT_EQ(codes.size(), expected.size());
  const auto run = boardsim::RunTrace(codes, sim::TracePlatformConfig{});
  EXPECT_EQ(run.entry_status, 0u);
  EXPECT_EQ(run.listeners, 1u);
  EXPECT_TRUE(run.violations.empty());
  for (size_t i = 0; i < codes.size(); ++i) {
    SCOPED_TRACE("code " + std::to_string(i + 1) + ": " + boardsim::DescribeCode(codes[i]));
    const auto& r = run.results[i];
    ASSERT_EQ(r.statuses.size(), 1u);
    EXPECT_EQ(r.statuses[0], 0u);
    if (expected[i].severity < 0) {
      EXPECT_TRUE(r.writes.empty());
      EXPECT_EQ(r.mmio_reads, 0u);
      continue;
    }
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_TRUE(r.messages[0].errors.empty());
    EXPECT_EQ(static_cast<int>(r.messages[0].severity), expected[i].severity);
    std::string text = expected[i].text;
    if (size_t at = text.find("<address>"); at != std::string::npos) {
      // The data record's address in hexadecimal: the text names the record it was reported with.
      const std::string sent = r.messages[0].Text();
      ASSERT_GT(sent.size(), at + 2);
      text.replace(at, 9, sent.substr(at, sent.size() - at - 2));
      EXPECT_EQ(sent.substr(at, sent.size() - at - 2).find_first_not_of("0123456789ABCDEF"), std::string::npos);
    }
    EXPECT_EQ(r.messages[0].Text(), text);
    EXPECT_EQ(r.messages[0].GuidText(), "23A3E7BA-75D1-4CB9-9C8F-56FA4E48D99E");
    // Header, payload and end mark at their registers of master 32, channel 14.
    ASSERT_GE(r.writes.size(), 3u);
    EXPECT_EQ(r.writes.front().address, 0xFE200390u);
    EXPECT_EQ(r.writes.back().address, 0xFE2003B0u);
    for (size_t w = 1; w + 1 < r.writes.size(); ++w) EXPECT_EQ(r.writes[w].address, 0xFE200380u);
    // One presence check per write plus the presence test, four reads each.
    EXPECT_EQ(r.mmio_reads, 4 * (r.writes.size() + 1));
  }
}

TEST(BuiltInSequence, HoldsEveryKindOfCode) {
  bool assertion = false, debug_sent = false, debug_filtered = false, error_plain = false, error_caller_data = false,
       ascii = false, non_ascii = false, progress = false, undefined = false;
  for (const auto& c : boardsim::BuiltInTraceCodes()) {
    const uint32_t cls = c.type & 0xFF;
    assertion |= c.data == TraceCode::Data::Assertion && (c.type >> 24) == 0x90 && (c.value & 0xFFFF) == 7;
    debug_sent |= c.data == TraceCode::Data::Debug && (c.debug_level & 0x80000046u) != 0;
    debug_filtered |= c.data == TraceCode::Data::Debug && (c.debug_level & 0x80000046u) == 0;
    error_plain |= cls == 2 && !c.caller && c.data == TraceCode::Data::None;
    error_caller_data |= cls == 2 && c.caller && c.data == TraceCode::Data::Other;
    ascii |= cls == 3 && c.data == TraceCode::Data::String && c.string_type == 0;
    non_ascii |= cls == 3 && c.data == TraceCode::Data::String && c.string_type != 0;
    progress |= cls == 1;
    undefined |= cls == 3 && c.data == TraceCode::Data::None;
  }
  EXPECT_TRUE(assertion && debug_sent && debug_filtered && error_plain && error_caller_data && ascii && non_ascii &&
              progress && undefined);
}

TEST(BuiltInSequence, AnUnusableHubGetsNoWriteAndTheListenerStillSucceeds) {
  boardsim::TraceOptions options;
  options.hub_disabled = true;
  const auto run = boardsim::RunTrace(boardsim::BuiltInTraceCodes(), boardsim::TracePlatformOf(options, 0));
  EXPECT_TRUE(run.violations.empty());
  for (const auto& r : run.results) {
    EXPECT_TRUE(r.writes.empty());
    for (auto s : r.statuses) EXPECT_EQ(s, 0u);
  }
}

TEST(BuiltInSequence, TheBoardsConfigurationBaseMovesThePmc) {
  const auto config = boardsim::TracePlatformOf(boardsim::TraceOptions{}, 0xC0000000ull);
  EXPECT_EQ(config.pei.config_windows[0].base, 0xC0000000ull);
  const auto run = boardsim::RunTrace(boardsim::BuiltInTraceCodes(), config);
  ASSERT_EQ(run.results[6].messages.size(), 1u);
  EXPECT_EQ(run.results[6].messages[0].Text(), "ERROR: C80000002:V0301000A I0\r\n");
}

TEST(BuiltInSequence, TheBoardsConfigurationBaseIsSegmentZeroOfThePlatformMcfgTable) {
  auto config = boardsim::TracePlatformOf(boardsim::TraceOptions{}, 0xC0000000ull);
  // With a default base elsewhere, only the table entry finds the PMC.
  config.pei.default_mmcfg_base = 0x90000000u;
  const auto run = boardsim::RunTrace(boardsim::BuiltInTraceCodes(), config);
  EXPECT_TRUE(run.violations.empty());
  ASSERT_EQ(run.results[6].messages.size(), 1u);
  EXPECT_EQ(run.results[6].messages[0].Text(), "ERROR: C80000002:V0301000A I0\r\n");
}

// The codes file.
TEST(CodesFile, ReadsEveryField) {
  const auto codes = boardsim::ParseTraceCodes(R"(codes:
  - class: error
    severity: unrecovered
    value: 0x03000007
    instance: 2
    caller_guid: 12345678-9ABC-DEF0-0123-456789ABCDEF
    assertion: {file: a.c, line: 7, text: "x > 0"}
  - class: debug
    debug: {level: 0x40, format: "%a %d %lx %a\n", args: [name, -1, {u64: 0x100000000}, {string: "42"}]}
  - type: 0x00000003
    string: {text: wide, type: 1}
  - class: progress
    value: 0x01020304
  - class: 7
    record: {guid: 11111111-2222-3333-4444-555555555555, bytes: "01 02"}
)",
                                               "codes.yaml");
  ASSERT_EQ(codes.size(), 5u);
  EXPECT_EQ(codes[0].type, 0x90000002u);
  EXPECT_EQ(codes[0].value, 0x03000007u);
  EXPECT_EQ(codes[0].instance, 2u);
  ASSERT_TRUE(codes[0].caller.has_value());
  EXPECT_EQ(codes[0].caller->Data1, 0x12345678u);
  EXPECT_EQ(codes[0].data, TraceCode::Data::Assertion);
  EXPECT_EQ(codes[0].line, 7u);
  EXPECT_EQ(codes[0].text, "x > 0");
  EXPECT_EQ(codes[0].origin, "codes.yaml:2");
  ASSERT_EQ(codes[1].args.size(), 4u);
  EXPECT_EQ(codes[1].args[0].kind, sim::DebugArgument::Kind::String);
  EXPECT_EQ(codes[1].args[1].value, 0xFFFFFFFFu);
  EXPECT_EQ(codes[1].args[2].kind, sim::DebugArgument::Kind::Int64);
  EXPECT_EQ(codes[1].args[3].text, "42");
  EXPECT_EQ(codes[2].string_type, 1u);
  EXPECT_EQ(codes[3].type, 1u);
  EXPECT_EQ(codes[4].record_bytes, (std::vector<uint8_t>{1, 2}));

  const auto run = boardsim::RunTrace(codes, sim::TracePlatformConfig{});
  ASSERT_EQ(run.results[1].messages.size(), 1u);
  EXPECT_EQ(run.results[1].messages[0].Text(), "name -1 100000000 42\r\n");
  EXPECT_EQ(run.results[0].messages[0].Text(), "\r\nPEI_ASSERT!: a.c (7): x > 0\r\n");
}

std::string ErrorOf(const std::string& text) {
  try {
    boardsim::ParseTraceCodes(text, "bad.yaml");
  } catch (const sim::BoardFileError& e) {
    return e.what();
  }
  return "(accepted)";
}

TEST(CodesFile, ErrorsNameTheLineTheFieldAndTheFix) {
  EXPECT_EQ(ErrorOf("codes:\n  - class: error\n    severity: big\n"),
            "bad.yaml:3: field codes[0].severity: unknown severity `big` (use minor, major, unrecovered, uncontained "
            "or a number 0-255)");
  EXPECT_NE(ErrorOf("codes:\n  - value: 1\n").find("bad.yaml:2: field codes[0]: no `class`"), std::string::npos);
  EXPECT_NE(ErrorOf("codes:\n  - class: error\n    colour: red\n").find("unknown key `colour`"), std::string::npos);
  EXPECT_NE(ErrorOf("codes:\n  - type: 2\n    class: error\n").find("`type` given with `class`"), std::string::npos);
  EXPECT_NE(ErrorOf("list: []\n").find("unknown key `list`"), std::string::npos);
  EXPECT_NE(ErrorOf("codes:\n  - class: error\n    string: a\n    debug: {level: 1, format: x}\n")
                .find("more than one data record"),
            std::string::npos);
  EXPECT_NE(ErrorOf("codes: [\n").find("YAML syntax"), std::string::npos);
}

TEST(CodesFile, MoreArgumentsThanADebugRecordHoldsAreRefused) {
  std::string args;
  for (int i = 0; i < 12; ++i) args += "{u64: 1}, ";
  args += "1";
  const std::string e =
      ErrorOf("codes:\n  - class: debug\n    debug: {level: 0x40, format: x, args: [" + args + "]}\n");
  EXPECT_NE(e.find("field codes[0].debug.args: the arguments take 100 bytes"), std::string::npos) << e;
}

// The report.
TEST(VisibleText, ShowsLineEndsAndUnprintableBytes) {
  EXPECT_EQ(boardsim::VisibleText("a\r\nb\t\"\\\x01\xC3"), "a\\r\\nb\\t\\\"\\\\\\x01\\xC3");
}

TEST(TraceCommand, PrintsOneLinePerMessageAndASummary) {
  std::ostringstream out, err;
  boardsim::TraceOptions options;
  EXPECT_EQ(boardsim::RunTraceCommand(options, out, err), boardsim::kTraceOk);
  const std::string text = out.str();
  EXPECT_NE(text.find("\"ERROR: C80000002:V0301000A I0\\r\\n\""), std::string::npos) << text;
  EXPECT_NE(text.find("1 fatal"), std::string::npos);
  EXPECT_NE(text.find("no message: debug level 0x00400000 has none of the bits 0x80000046"), std::string::npos);
  EXPECT_NE(text.find("Summary: 12 status codes reported, 11 messages"), std::string::npos) << text;
  EXPECT_TRUE(err.str().empty());
}

TEST(TraceCommand, RawListsEveryWriteWithItsRegister) {
  std::ostringstream out, err;
  boardsim::TraceOptions options;
  options.raw = true;
  boardsim::RunTraceCommand(options, out, err);
  EXPECT_NE(out.str().find("0xFE200390  32-bit 0x01FF0042"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("0xFE2003B0  32-bit 0x00000000"), std::string::npos);
}

TEST(TraceCommand, AnUnreadableCodesFileIsBadInputNamingTheFile) {
  std::ostringstream out, err;
  boardsim::TraceOptions options;
  options.codes_file = "/nonexistent/codes.yaml";
  EXPECT_EQ(boardsim::RunTraceCommand(options, out, err), boardsim::kTraceBadInput);
  EXPECT_NE(err.str().find("/nonexistent/codes.yaml"), std::string::npos);
  EXPECT_TRUE(out.str().empty());
}

TEST(TraceCommand, APmcVanishingMidMessageIsShownAsACutMessage) {
  std::ostringstream out, err;
  boardsim::TraceOptions options;
  options.pmc_vanishes_after = 20;
  EXPECT_EQ(boardsim::RunTraceCommand(options, out, err), boardsim::kTraceFaults);
  EXPECT_NE(out.str().find("malformed"), std::string::npos) << out.str();
}

}  // namespace
