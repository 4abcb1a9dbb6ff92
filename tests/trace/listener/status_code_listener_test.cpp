// The listener's dispatch, checked on the wire: the decoded text and severity of the message each status
// code produces on master 32, channel 14 (or that none is produced).
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/trace/listener/listener_fixture.h"

namespace {

using listenertest::kAssertType;
using listenertest::kAssertValue;
using listenertest::kCallerGuid;
using listenertest::kDebug;
using listenertest::kError;
using listenertest::kProgress;
using listenertest::ListenerTest;
using sim::DebugArgument;

std::string Hex(const void* p) {
  char text[24];
  std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
  return text;
}

constexpr EFI_GUID kUnknownGuid = {0xDEADBEEF, 0x1111, 0x2222, {3, 3, 4, 4, 5, 5, 6, 6}};

// Error codes.
TEST_F(ListenerTest, AnErrorCodeAloneIsTheErrorLine) {
  Report(kError, 0x0301000A, 0);
  auto m = Only();
  EXPECT_EQ(m.Text(), "ERROR: C80000002:V0301000A I0\r\n");
  EXPECT_EQ(m.severity, 2u);
  EXPECT_EQ(m.header, 0x01FF0222u);
}

TEST_F(ListenerTest, AnErrorCodeShowsTheInstanceInHexadecimal) {
  Report(0x40000002, 0x00000001, 0x1F);
  EXPECT_EQ(Only().Text(), "ERROR: C40000002:V00000001 I1F\r\n");
}

TEST_F(ListenerTest, AnErrorCodeAppendsTheCallerGuid) {
  Report(kError, 0x0301000A, 0, &kCallerGuid);
  EXPECT_EQ(Only().Text(), "ERROR: C80000002:V0301000A I0 12345678-9ABC-DEF0-0123-456789ABCDEF\r\n");
}

TEST_F(ListenerTest, AnErrorCodeWithAnUnknownRecordAppendsTheRecordsAddress) {
  const void* data = platform.records().Raw(kUnknownGuid, {1, 2, 3, 4});
  Report(kError, 0x0301000A, 2, nullptr, data);
  EXPECT_EQ(Only().Text(), "ERROR: C80000002:V0301000A I2 " + Hex(data) + "\r\n");
}

TEST_F(ListenerTest, AnErrorCodeWithGuidAndDataHasBothInThatOrder) {
  const void* data = platform.records().Raw(kUnknownGuid, {});
  Report(kError, 0x0301000A, 0, &kCallerGuid, data);
  EXPECT_EQ(Only().Text(), "ERROR: C80000002:V0301000A I0 12345678-9ABC-DEF0-0123-456789ABCDEF " + Hex(data) + "\r\n");
}

TEST_F(ListenerTest, AStringRecordUnderAnErrorCodeIsPrintedAsAnErrorWithItsAddress) {
  const void* data = platform.records().String("not shown");
  Report(kError, 0x0301000A, 0, nullptr, data);
  EXPECT_EQ(Only().Text(), "ERROR: C80000002:V0301000A I0 " + Hex(data) + "\r\n");
}

// Assertions.
TEST_F(ListenerTest, AnAssertionPrintsFileLineAndDescription) {
  const void* data = platform.records().Assertion("Platform/MemoryInit.c", 1234, "Size != 0");
  Report(kAssertType, kAssertValue, 0, nullptr, data);
  auto m = Only();
  EXPECT_EQ(m.Text(), "\r\nPEI_ASSERT!: Platform/MemoryInit.c (1234): Size != 0\r\n");
  EXPECT_EQ(m.severity, 1u);
}

TEST_F(ListenerTest, AnAssertionCodeWithoutDataIsAnOrdinaryErrorCode) {
  Report(kAssertType, kAssertValue);
  auto m = Only();
  EXPECT_EQ(m.Text(), "ERROR: C90000002:V00010007 I0\r\n");
  EXPECT_EQ(m.severity, 2u);
}

TEST_F(ListenerTest, OnlyOperationSevenOfAnUnrecoveredErrorIsAnAssertion) {
  const void* data = platform.records().Assertion("a.c", 1, "x");
  Report(kAssertType, 0x00010008, 0, nullptr, data);
  EXPECT_EQ(Only().Text(), "ERROR: C90000002:V00010008 I0 " + Hex(data) + "\r\n");
  Report(kError, kAssertValue, 0, nullptr, data);  // major, not unrecovered
  EXPECT_EQ(Only().Text(), "ERROR: C80000002:V00010007 I0 " + Hex(data) + "\r\n");
}

TEST_F(ListenerTest, AnAssertionWinsOverADebugRecordGuid) {
  // A debug record reported with the assertion code values is read as an assertion record: the line number at
  // offset 40 and the file name at 52 lie inside the packed list, which holds zeros here, so both texts are empty.
  const void* data = platform.records().Debug(0x80000000, "ignored", {});
  Report(kAssertType, kAssertValue, 0, nullptr, data);
  auto m = Only();
  EXPECT_EQ(m.Text(), "\r\nPEI_ASSERT!:  (0): \r\n");
  EXPECT_EQ(m.severity, 1u);
}

TEST_F(ListenerTest, AnAssertionCodeWithADebugRecordReadsTheAssertionFieldsAtTheirOffsets) {
  // Packed-list bytes 16..19 are record offset 40 (the line number), bytes 28 on are offset 52 (file name, then
  // description); the debug record's own level and format are not looked at.
  std::vector<uint8_t> packed(96, 0);
  packed[16] = 0x34;
  packed[17] = 0x12;
  const std::string names = std::string("Dbg.c") + '\0' + "Oops";
  std::copy(names.begin(), names.end(), packed.begin() + 28);
  const void* data = platform.records().DebugPacked(0x00400000, "%a %d never formatted", packed);
  Report(kAssertType, kAssertValue, 0, nullptr, data);
  auto m = Only();
  EXPECT_EQ(m.Text(), "\r\nPEI_ASSERT!: Dbg.c (4660): Oops\r\n");
  EXPECT_EQ(m.severity, 1u);
}

// Debug records.
TEST_F(ListenerTest, ADebugRecordFormatsItsPackedArguments) {
  const void* data =
      platform.records().Debug(0x00000040, "%a: %d pages at 0x%lx\n",
                               {DebugArgument::String("MemoryInit"), DebugArgument::Int32(static_cast<uint32_t>(-3)),
                                DebugArgument::Int64(0x123456789ABull)});
  Report(kDebug, 0, 0, nullptr, data);
  auto m = Only();
  EXPECT_EQ(m.Text(), "MemoryInit: -3 pages at 0x123456789AB\r\n");
  EXPECT_EQ(m.severity, 4u);
}

struct LevelCase {
  uint32_t level;
  int severity;  // -1: nothing sent
};

class DebugLevelTest : public ListenerTest, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(DebugLevelTest, TheLevelDecidesWhetherAndHowTheMessageIsSent) {
  const void* data = platform.records().Debug(GetParam().level, "level test\n", {});
  Report(kDebug, 0, 0, nullptr, data);
  auto messages = Messages();
  if (GetParam().severity < 0) {
    EXPECT_TRUE(messages.empty());
  } else {
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Text(), "level test\r\n");
    EXPECT_EQ(messages[0].severity, static_cast<unsigned>(GetParam().severity));
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, DebugLevelTest,
                         ::testing::Values(LevelCase{0x80000000, 2}, LevelCase{0x80000040, 4}, LevelCase{0x00000002, 4},
                                           LevelCase{0x00000004, 4}, LevelCase{0x00000040, 4},
                                           LevelCase{0x00400000, -1}, LevelCase{0x00000000, -1},
                                           LevelCase{0x7FFFFFB9, -1}));

TEST_F(ListenerTest, ADebugRecordWinsOverTheErrorClass) {
  const void* shown = platform.records().Debug(0x80000000, "from an error code\n", {});
  Report(kError, 0x0301000A, 0, &kCallerGuid, shown);
  EXPECT_EQ(Only().Text(), "from an error code\r\n");
  const void* filtered = platform.records().Debug(0x00400000, "filtered\n", {});
  Report(kError, 0x0301000A, 0, &kCallerGuid, filtered);
  EXPECT_TRUE(Messages().empty()) << "a filtered debug record sends nothing, whatever its class";
  const void* progress = platform.records().Debug(0x00000040, "from a progress code\n", {});
  Report(kProgress, 0x01020304, 0, nullptr, progress);
  EXPECT_EQ(Only().Text(), "from a progress code\r\n");
}

TEST_F(ListenerTest, AFormatAskingForMoreThanThePackedListReadsZerosNotTheFormat) {
  std::vector<DebugArgument> args;
  std::string format;
  for (uint32_t i = 1; i <= 24; ++i) {
    args.push_back(DebugArgument::Int32(i));
    format += "%x,";
  }
  format += "%x,%x|";  // two more than the 96 bytes hold
  const void* data = platform.records().Debug(0x00000040, format, args);
  Report(kDebug, 0, 0, nullptr, data);
  EXPECT_EQ(Only().Text(), "1,2,3,4,5,6,7,8,9,A,B,C,D,E,F,10,11,12,13,14,15,16,17,18,0,0|");
}

TEST_F(ListenerTest, ASixtyFourBitArgumentOverTheListsEndReadsZero) {
  std::vector<uint8_t> packed(96, 0);
  for (size_t i = 92; i < 96; ++i) packed[i] = 0x11;
  std::string format;
  for (int i = 0; i < 23; ++i) format += "%x";
  format += "[%lx][%x][%a]";
  const void* data = platform.records().DebugPacked(0x00000040, format, packed);
  Report(kDebug, 0, 0, nullptr, data);
  EXPECT_EQ(Only().Text(), std::string(23, '0') + "[0][0][<null string>]");
}

// Progress codes.
TEST_F(ListenerTest, AProgressCodeSendsOneEmptyInlineMessage) {
  Report(kProgress, 0x01020304, 9, &kCallerGuid);
  auto m = Only();
  EXPECT_EQ(m.header, 0x01FF0042u);
  EXPECT_EQ(m.Text(), "");
  EXPECT_EQ(m.severity, 4u);
  EXPECT_FALSE(m.has_length);
}

TEST_F(ListenerTest, AProgressCodeIgnoresAStringRecord) {
  Report(kProgress, 0x01020304, 0, nullptr, platform.records().String("not shown"));
  EXPECT_EQ(Only().Text(), "");
}

// String records and undefined codes.
TEST_F(ListenerTest, AnAsciiStringRecordIsSentWithALineEnd) {
  Report(kDebug, 0, 0, nullptr, platform.records().String("PEI phase: memory discovered"));
  auto m = Only();
  EXPECT_EQ(m.Text(), "PEI phase: memory discovered\r\n");
  EXPECT_EQ(m.severity, 4u);
}

TEST_F(ListenerTest, AStringRecordOfAnotherTypeIsUndefined) {
  Report(kDebug, 0x00001234, 5, nullptr, platform.records().String("unicode", 1));
  auto m = Only();
  EXPECT_EQ(m.Text(), "Undefined: C3:V1234 I5\r\n");
  EXPECT_EQ(m.severity, 0u);
}

TEST_F(ListenerTest, AClassThreeCodeWithoutARecordIsUndefined) {
  Report(kDebug, 0xABCDEF01, 0);
  auto m = Only();
  EXPECT_EQ(m.Text(), "Undefined: C3:VABCDEF01 I0\r\n");
  EXPECT_EQ(m.severity, 0u);
}

TEST_F(ListenerTest, AnUnknownRecordOfAnotherClassIsUndefined) {
  Report(0x00000007, 1, 2, &kCallerGuid, platform.records().Raw(kUnknownGuid, {0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Only().Text(), "Undefined: C7:V1 I2\r\n");
}

TEST_F(ListenerTest, ATextLongerThan2047CharactersIsSentCut) {
  Report(kDebug, 0, 0, nullptr, platform.records().String(std::string(3000, 'x')));
  auto m = Only();
  ASSERT_TRUE(m.length.has_value());
  EXPECT_EQ(*m.length, 2047u);
  EXPECT_EQ(m.Text(), std::string(2047, 'x'));
}

TEST_F(ListenerTest, AStringRecordWithANullPointerSendsAPlaceholder) {
  std::vector<uint8_t> extended(8, 0);  // string type 0, pointer 0
  Report(kDebug, 0, 0, nullptr, platform.records().Raw(sim::kStringRecordGuid, extended));
  EXPECT_EQ(Only().Text(), "<null string>\r\n");
}

// A hub that cannot be used: the listener still succeeds and nothing reaches the window.
struct HubFault {
  const char* name;
  void (*apply)(sim::TracePlatformConfig&);
};

class UnusableHubListenerTest : public ListenerTest, public ::testing::WithParamInterface<HubFault> {
 protected:
  UnusableHubListenerTest() : ListenerTest(Config()) {}
  static sim::TracePlatformConfig Config() {
    sim::TracePlatformConfig config;
    GetParam().apply(config);
    return config;
  }
};

TEST_P(UnusableHubListenerTest, EveryBranchSucceedsAndNothingIsWritten) {
  Report(kError, 0x0301000A, 0, &kCallerGuid);
  Report(kAssertType, kAssertValue, 0, nullptr, platform.records().Assertion("a.c", 1, "x"));
  Report(kDebug, 0, 0, nullptr, platform.records().Debug(0x80000000, "debug %d\n", {DebugArgument::Int32(1)}));
  Report(kProgress, 1);
  Report(kDebug, 0, 0, nullptr, platform.records().String("text"));
  Report(0x00000009, 0);
  EXPECT_TRUE(platform.hub().Writes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UnusableHubListenerTest,
    ::testing::Values(HubFault{"NoPmc", [](sim::TracePlatformConfig& c) { c.pmc.present = false; }},
                      HubFault{"DisableBit", [](sim::TracePlatformConfig& c) { c.pmc.trace_hub_disabled = true; }},
                      HubFault{"Undecoded", [](sim::TracePlatformConfig& c) { c.hub.decoded = false; }},
                      HubFault{"PmcGoneAtOnce", [](sim::TracePlatformConfig& c) { c.pmc_vanishes_after_writes = 0; }}),
    [](const auto& info) { return std::string(info.param.name); });

class VanishingPmcListenerTest : public ListenerTest {
 protected:
  VanishingPmcListenerTest() : ListenerTest(Config()) {}
  static sim::TracePlatformConfig Config() {
    sim::TracePlatformConfig config;
    config.pmc_vanishes_after_writes = 7;  // header, GUID, length, then one text word
    return config;
  }
};

TEST_F(VanishingPmcListenerTest, APmcGoneMidMessageCutsTheMessageAndTheListenerStillSucceeds) {
  Report(kError, 0x0301000A);
  Report(kError, 0x0301000B);
  const auto& writes = platform.hub().Writes();
  ASSERT_EQ(writes.size(), 7u);
  EXPECT_EQ(writes[0].address, 0xFE200390u);
  EXPECT_EQ(writes[6].address, 0xFE200380u);
  EXPECT_EQ(writes[6].write.value, 0x4F525245u) << "the first four characters, \"ERRO\"";
}

}  // namespace
