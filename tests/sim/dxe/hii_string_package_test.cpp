// The HII database's string-package checks: the structural faults found in a changed copy of the driver's
// package, and the skip, duplicate and list blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim/dxe/hii_string_package.h"
#include "smbios/board/string_package.h"

namespace {

// The driver's package with one byte changed, as a package of `size` bytes.
std::vector<uint8_t> DriverPackage() {
  uint32_t length;
  std::memcpy(&length, DriverStringPackageBlob, 4);
  return {DriverStringPackageBlob + 4, DriverStringPackageBlob + length};
}

std::string Problem(const std::vector<uint8_t>& package) {
  sim::HiiStringPackageInfo info;
  return sim::ParseHiiStringPackage(package.data(), package.size(), &info);
}

TEST(HiiStringPackageCheck, FindsTheStructuralFaults) {
  std::vector<uint8_t> p = DriverPackage();
  ASSERT_EQ(Problem(p), "");

  std::vector<uint8_t> no_end = p;
  no_end.pop_back();
  no_end[0] = static_cast<uint8_t>(no_end.size());
  no_end[1] = static_cast<uint8_t>(no_end.size() >> 8);
  EXPECT_NE(Problem(no_end).find("without an end block"), std::string::npos);

  std::vector<uint8_t> unterminated_language = p;
  unterminated_language[51] = 'X';
  EXPECT_NE(Problem(unterminated_language).find("language not NUL-terminated"), std::string::npos);

  std::vector<uint8_t> bad_offset = p;
  bad_offset[8] = 0xFF;
  bad_offset[9] = 0xFF;
  EXPECT_NE(Problem(bad_offset).find("StringInfoOffset"), std::string::npos);

  std::vector<uint8_t> bad_block = p;
  bad_block[52] = 0x7F;
  EXPECT_NE(Problem(bad_block).find("unknown string block type 127"), std::string::npos);

  std::vector<uint8_t> wrong_length = p;
  wrong_length[0] ^= 0x02;
  EXPECT_NE(Problem(wrong_length).find("differs from"), std::string::npos);

  std::vector<uint8_t> bad_name = p;
  bad_name[44] = 99;
  EXPECT_NE(Problem(bad_name).find("LanguageName names string ID 99"), std::string::npos);
}

TEST(HiiStringPackageCheck, ReadsSkipDuplicateAndListBlocks) {
  // Header (46 bytes + "en\0"), then: string list of two, skip one ID, duplicate of ID 1, end.
  std::vector<uint8_t> p(49, 0);
  p[3] = 0x04;
  p[4] = 49;
  p[8] = 49;
  p[44] = 1;
  p[46] = 'e';
  p[47] = 'n';
  auto ucs2 = [&](const char* s) {
    for (; *s; ++s) p.insert(p.end(), {static_cast<uint8_t>(*s), 0});
    p.insert(p.end(), {0, 0});
  };
  p.insert(p.end(), {0x16, 2, 0});
  ucs2("A");
  ucs2("BC");
  p.insert(p.end(), {0x22, 1});
  p.insert(p.end(), {0x20, 1, 0});
  p.push_back(0x00);
  p[0] = static_cast<uint8_t>(p.size());
  sim::HiiStringPackageInfo info;
  ASSERT_EQ(sim::ParseHiiStringPackage(p.data(), p.size(), &info), "");
  EXPECT_EQ(info.strings.size(), 3u);
  EXPECT_EQ(info.strings[2], u"BC");
  EXPECT_EQ(info.strings[4], u"A");
  EXPECT_EQ(info.strings.count(3), 0u);
}

}  // namespace
