// The onboard MAC address parsed from a VPD "V2" keyword.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "smbios/records/onboard_mac.h"
#include "uefi/status.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

TEST(VpdMacKeyword, MixedCaseHexGivesTheBytes) {
  std::vector<uint8_t> image = Bytes(
      "\x90\x10\x01PNx\x03"
      "abcV2\x0C"
      "0a1B2c3D4e59");
  uint8_t mac[6] = {};
  ASSERT_EQ(ParseVpdMacKeyword(image.data(), image.size(), mac), EFI_SUCCESS);
  const uint8_t want[6] = {0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x59};
  EXPECT_EQ(std::memcmp(mac, want, 6), 0);
}

TEST(VpdMacKeyword, KeywordAtTheVeryEndOrShortDataIsNotFoundAndMacUntouched) {
  const std::string cases[] = {"xxxxV", "xxxxV2", "xxxxV2\x0C",
                               "xxxxV2\x0C"
                               "0a1B2c3D4e5"};
  for (const std::string& text : cases) {
    // Heap copy of exactly the image, so a read past it is caught by the sanitizer/valgrind runs too.
    std::vector<uint8_t> image = Bytes(text);
    uint8_t mac[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(ParseVpdMacKeyword(image.data(), image.size(), mac), EFI_NOT_FOUND) << text.size();
    const uint8_t same[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(std::memcmp(mac, same, 6), 0);
  }
}

TEST(VpdMacKeyword, ExactlyTwelveCharactersAtTheEndAreRead) {
  std::vector<uint8_t> image = Bytes(
      "V2\x0C"
      "AABBCCDDEEFF");
  uint8_t mac[6] = {};
  ASSERT_EQ(ParseVpdMacKeyword(image.data(), image.size(), mac), EFI_SUCCESS);
  EXPECT_EQ((std::vector<uint8_t>(mac, mac + 6)), (std::vector<uint8_t>{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}));
}

TEST(VpdMacKeyword, NoKeywordIsNotFound) {
  std::vector<uint8_t> image = Bytes(
      "V1\x0C"
      "AABBCCDDEEFF");
  uint8_t mac[6] = {};
  EXPECT_EQ(ParseVpdMacKeyword(image.data(), image.size(), mac), EFI_NOT_FOUND);
}

}  // namespace
