// FRU images built from fields: layout, checksums, spoiled checksums on request, and the refused inputs.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/dxe/power_supply_fru_image.h"

namespace {

using sim::FruChecksumBreak;

uint8_t Sum(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
  uint8_t sum = 0;
  for (size_t i = from; i < from + count; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
  return sum;
}

uint8_t MultiRecordSum(const std::vector<uint8_t>& image) {
  return static_cast<uint8_t>(image[91] + Sum(image, 93, 24));
}

sim::PowerSupplyFruFields Fields() {
  sim::PowerSupplyFruFields f;
  f.manufacturer = "ACME";
  f.product = "PS-800";
  f.part = "P800-01";
  f.version = "A1";
  f.serial = "SN12345";
  f.capacity_watts = 800;
  return f;
}

TEST(PowerSupplyFruImage, FieldsFollowTheProductAreaWithEveryChecksumRight) {
  std::vector<uint8_t> image;
  ASSERT_EQ(sim::BuildPowerSupplyFru(Fields(), FruChecksumBreak::None, &image), "");
  ASSERT_EQ(image.size(), 128u);
  EXPECT_EQ(Sum(image, 0, 8), 0);    // common header
  EXPECT_EQ(Sum(image, 24, 64), 0);  // Product Info Area
  EXPECT_EQ(Sum(image, 88, 5), 0);   // MultiRecord header
  EXPECT_EQ(MultiRecordSum(image), 0);
  EXPECT_EQ(image[27], 0xC4);
  EXPECT_EQ(std::string(image.begin() + 28, image.begin() + 32), "ACME");
  EXPECT_EQ(image[32], 0xC6);  // product name follows
  EXPECT_EQ(image[93] | image[94] << 8, 800);
}

TEST(PowerSupplyFruImage, EmptyFieldIsEncodedAsC0) {
  sim::PowerSupplyFruFields f = Fields();
  f.manufacturer.clear();
  std::vector<uint8_t> image;
  ASSERT_EQ(sim::BuildPowerSupplyFru(f, FruChecksumBreak::None, &image), "");
  EXPECT_EQ(image[27], 0xC0);
  EXPECT_EQ(image[28], 0xC6);
  EXPECT_EQ(Sum(image, 24, 64), 0);
}

TEST(PowerSupplyFruImage, SpoiledChecksumsAreTheOnesAskedFor) {
  std::vector<uint8_t> image;
  ASSERT_EQ(sim::BuildPowerSupplyFru(Fields(), FruChecksumBreak::MultiRecord, &image), "");
  EXPECT_EQ(Sum(image, 24, 64), 0);
  EXPECT_NE(MultiRecordSum(image), 0);
  ASSERT_EQ(sim::BuildPowerSupplyFru(Fields(), FruChecksumBreak::ProductArea, &image), "");
  EXPECT_NE(Sum(image, 24, 64), 0);
  EXPECT_EQ(MultiRecordSum(image), 0);
}

TEST(PowerSupplyFruImage, RefusesFieldsThatCannotBeEncoded) {
  std::vector<uint8_t> image;
  sim::PowerSupplyFruFields f = Fields();
  f.version = "A";
  EXPECT_NE(sim::BuildPowerSupplyFru(f, FruChecksumBreak::None, &image).find("field version: a one-character"),
            std::string::npos);
  f = Fields();
  f.serial = std::string(32, 'S');
  EXPECT_NE(sim::BuildPowerSupplyFru(f, FruChecksumBreak::None, &image).find("field serial: 32 characters"),
            std::string::npos);
  f = Fields();
  f.manufacturer = std::string(30, 'M');
  f.product = std::string(30, 'P');
  EXPECT_NE(sim::BuildPowerSupplyFru(f, FruChecksumBreak::None, &image).find("64-byte Product Info Area"),
            std::string::npos);
  f = Fields();
  f.capacity_watts = 5000;
  EXPECT_NE(sim::BuildPowerSupplyFru(f, FruChecksumBreak::None, &image).find("field capacity"), std::string::npos);
  f = Fields();
  f.part = "P\x01X";
  EXPECT_NE(sim::BuildPowerSupplyFru(f, FruChecksumBreak::None, &image).find("field part"), std::string::npos);
}

}  // namespace
