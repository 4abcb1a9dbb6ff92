// Status-name lookup: success and warnings 0-5, errors 1-33, everything else unnamed.
#include <cstring>

#include <gtest/gtest.h>

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

// The formatter copies a name without its empty-item padding: no name may be empty.
TEST(StatusNames, TableEntriesAreNotEmptyAndFitTheFormatterScratch) {
  for (UINT32 I = 0; I < STATUS_NAME_COUNT; ++I) {
    ASSERT_NE(StatusNameTable[I], nullptr) << I;
    EXPECT_GT(strlen(StatusNameTable[I]), 0u) << I;
    EXPECT_LT(strlen(StatusNameTable[I]), 38u) << I;
  }
}

}  // namespace
