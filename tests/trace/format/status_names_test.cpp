// Status-name lookup: success and warnings 0-5, errors 1-33, everything else unnamed.
#include <cstring>

#include <gtest/gtest.h>

#include "trace/format/format_text.h"
#include "trace/format/status_names.h"

namespace {

TEST(StatusNames, SuccessAndWarningsByValue) {
  EXPECT_STREQ(StatusName(0), "Success");
  EXPECT_STREQ(StatusName(1), "Warning Unknown Glyph");
  EXPECT_STREQ(StatusName(5), "Warning Stale Data");
  EXPECT_EQ(StatusName(6), nullptr);
  EXPECT_EQ(StatusName(0x7FFFFFFFu), nullptr);
}

TEST(StatusNames, ErrorsAreShiftedPastTheWarnings) {
  EXPECT_EQ(StatusName(0x80000000u), nullptr);
  EXPECT_STREQ(StatusName(0x80000001u), "Load Error");
  EXPECT_STREQ(StatusName(0x80000005u), "Buffer Too Small");
  EXPECT_STREQ(StatusName(0x80000012u), "Time out");
  EXPECT_STREQ(StatusName(0x8000001Eu), "Reserved (30)");
  EXPECT_STREQ(StatusName(0x80000021u), "Compromised Data");
  EXPECT_EQ(StatusName(0x80000022u), nullptr);
  EXPECT_EQ(StatusName(0xFFFFFFFFu), nullptr);
}

// Every entry of the table by its index, and the status value that names it: 0-5 for success and the
// warnings, the error bit plus index - 5 for the errors 1-33.
TEST(StatusNames, EveryNameByIndexAndByItsStatusValue) {
  // Laid out by hand: four names a line, in index order.
  // clang-format off
  const char *const Expected[STATUS_NAME_COUNT] = {
      "Success",           "Warning Unknown Glyph", "Warning Delete Failure", "Warning Write Failure",
      "Warning Buffer Too Small", "Warning Stale Data", "Load Error",     "Invalid Parameter",
      "Unsupported",       "Bad Buffer Size",      "Buffer Too Small",      "Not Ready",
      "Device Error",      "Write Protected",      "Out of Resources",      "Volume Corrupt",
      "Volume Full",       "No Media",             "Media changed",         "Not Found",
      "Access Denied",     "No Response",          "No mapping",            "Time out",
      "Not started",       "Already started",      "Aborted",               "ICMP Error",
      "TFTP Error",        "Protocol Error",       "Incompatible Version",  "Security Violation",
      "CRC Error",         "End of Media",         "Reserved (29)",         "Reserved (30)",
      "End of File",       "Invalid Language",     "Compromised Data",
  };
  // clang-format on
  ASSERT_EQ(STATUS_NAME_COUNT, 39u);
  for (UINT32 Index = 0; Index < STATUS_NAME_COUNT; ++Index) {
    ASSERT_NE(StatusNameTable[Index], nullptr) << Index;
    EXPECT_STREQ(StatusNameTable[Index], Expected[Index]) << "index " << Index;
    const UINT32 Value = Index <= 5 ? Index : (0x80000000u | (Index - 5));
    EXPECT_EQ(StatusName(Value), StatusNameTable[Index]) << "index " << Index;
    char Text[64];
    ASSERT_EQ(FormatText(Text, sizeof Text, "%r", Value), strlen(Expected[Index])) << "index " << Index;
    EXPECT_STREQ(Text, Expected[Index]) << "%r of " << std::hex << Value;
  }
}

// The formatter copies a name without its empty-item padding: no name may be empty.
TEST(StatusNames, TableEntriesAreNotEmptyAndFitTheFormatterScratch) {
  for (UINT32 I = 0; I < STATUS_NAME_COUNT; ++I) {
    ASSERT_NE(StatusNameTable[I], nullptr) << I;
    EXPECT_GT(strlen(StatusNameTable[I]), 0u) << I;
    EXPECT_LT(strlen(StatusNameTable[I]), 38u) << I;
  }
}

}  // namespace
