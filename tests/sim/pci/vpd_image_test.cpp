// Building VPD images from descriptions and decoding arbitrary bytes as VPD resources.
#include <gtest/gtest.h>

#include <random>

#include "sim/pci/vpd_image.h"

namespace {

TEST(VpdImage, EncodedImageDecodesBackWithAValidChecksum) {
  sim::VpdImageSpec spec;
  spec.identifier = "Network card";
  spec.read_only = {{"PN", {'N', 'C', '1'}}, {"SN", {'4', '2'}}};
  spec.writable = {{"VB", {0, 0}}, {"YA", {'x'}}};
  auto image = sim::EncodeVpdImage(spec);
  auto d = sim::DecodeVpdImage(image);
  EXPECT_TRUE(d.end_tag);
  EXPECT_EQ(d.stop, "");
  ASSERT_EQ(d.resources.size(), 3u);
  EXPECT_EQ(d.resources[0].identifier, "Network card");
  ASSERT_EQ(d.resources[1].keywords.size(), 3u);
  EXPECT_EQ(d.resources[1].keywords[2].name, "RV");
  ASSERT_TRUE(d.resources[1].checksum_ok.has_value());
  EXPECT_TRUE(*d.resources[1].checksum_ok);
  EXPECT_EQ(d.resources[2].tag, sim::kVpdTagWritable);
  EXPECT_EQ(d.resources[2].keywords[0].name, "VB");
  EXPECT_EQ(image.back(), sim::kVpdTagEnd);

  image[5] ^= 1;  // damage a read-only byte
  EXPECT_FALSE(*sim::DecodeVpdImage(image).resources[1].checksum_ok);
}

TEST(VpdImage, BadKeywordsAreRefused) {
  sim::VpdImageSpec spec;
  spec.writable = {{"VBX", {}}};
  EXPECT_THROW(sim::EncodeVpdImage(spec), std::invalid_argument);
  spec.writable = {{"VB", std::vector<uint8_t>(256, 0)}};
  EXPECT_THROW(sim::EncodeVpdImage(spec), std::invalid_argument);
}

TEST(VpdImage, DecodingStopsWhereTheBytesRunOut) {
  const std::vector<uint8_t> cut = {0x91, 0x10, 0x00, 'V', 'B', 0x05, 1, 2};
  auto d = sim::DecodeVpdImage(cut);
  ASSERT_EQ(d.resources.size(), 1u);
  EXPECT_EQ(d.resources[0].declared_length, 16u);
  EXPECT_EQ(d.resources[0].available, 5u);
  EXPECT_TRUE(d.resources[0].keywords_cut);
  EXPECT_EQ(d.resources[0].keywords[0].data.size(), 2u);
  EXPECT_NE(d.stop.find("runs past the image"), std::string::npos);
}

TEST(VpdImage, ArbitraryBytesNeverReadOutsideTheImage) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> bytes(random() % 64);
    for (auto& b : bytes) b = static_cast<uint8_t>(random() % 4 == 0 ? 0x90 + random() % 2 : random());
    auto d = sim::DecodeVpdImage(bytes);
    for (const auto& r : d.resources) {
      EXPECT_LE(r.offset + 3 + r.available, bytes.size());
    }
  }
}

}  // namespace
