// The driver's string package: the inventory's strings in order under en-US, and the lengths that follow from them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sim/dxe/hii_string_package.h"
#include "smbios/board/board_inventory.h"
#include "smbios/board/string_package.h"

namespace {

uint32_t BlobLength(const UINT8* blob) {
  uint32_t n;
  std::memcpy(&n, blob, 4);
  return n;
}

TEST(DriverStringPackage, HoldsTheInventorysStringsInOrderUnderEnUs) {
  const UINT8* blob = DriverStringPackageBlob;
  const uint32_t length = BlobLength(blob);
  sim::HiiStringPackageInfo info;
  ASSERT_EQ(sim::ParseHiiStringPackage(blob + 4, length - 4, &info), "");
  EXPECT_EQ(info.length, length - 4);
  EXPECT_EQ(info.header_size, 52u);
  EXPECT_EQ(info.string_info_offset, 52u);
  EXPECT_EQ(info.language, "en-US");
  EXPECT_EQ(info.language_name, 1);
  EXPECT_EQ(blob[4 + 3], 0x04);
  for (int i = 12; i < 44; ++i) EXPECT_EQ(blob[4 + i], 0) << "LanguageWindow byte " << i;
  ASSERT_EQ(info.strings.size(), PackageStringCount);
  for (uint16_t id = 1; id <= PackageStringCount; ++id) EXPECT_EQ(info.strings[id], PackageStrings[id - 1]) << id;
  EXPECT_EQ(info.blocks, PackageStringCount + 1);
  // The 24-bit length and the blob length follow from the strings: 52 + one block per string + end block.
  size_t blocks = 1;
  for (const char16_t* s : PackageStrings) blocks += 1 + 2 * (std::char_traits<char16_t>::length(s) + 1);
  EXPECT_EQ(length, 4 + 52 + blocks);
}

}  // namespace
