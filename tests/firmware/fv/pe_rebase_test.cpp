// Rebasing the built PEI image: every HIGHLOW fixup moved by the difference, the header's base changed, the
// relocations kept; and the check that an image is its own memory image.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "firmware/fv/pe_rebase.h"
#include "tests/support/pe_test_image.h"

namespace {

#ifdef PEI_IMAGE
std::vector<uint8_t> ReadBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(PeRebase, MovesEveryFixupAndTheImageBaseByTheDifference) {
  const std::vector<uint8_t> original = ReadBytes(PEI_IMAGE);
  const pe::Image before = *pe::ReadImage(original).Value;
  std::vector<uint8_t> moved = original;
  std::string error;
  const uint64_t base = 0xFFF000C0;
  ASSERT_TRUE(fv::RebaseImage(moved, base, error)) << error;
  const pe::ReadResult after = pe::ReadImage(moved);
  ASSERT_TRUE(after.Value) << after.Error;
  EXPECT_EQ(after.Value->ImageBase, base);
  EXPECT_EQ(after.Value->Relocations.size(), before.Relocations.size());
  const uint32_t delta = static_cast<uint32_t>(base - before.ImageBase);
  size_t fixups = 0;
  std::vector<bool> fixed(original.size(), false);
  for (const pe::Relocation& r : before.Relocations) {
    if (r.Type != pe::RelHighLow) continue;
    uint32_t old_value, new_value;
    std::memcpy(&old_value, original.data() + r.Rva, 4);  // RVA = file offset: the image is its own memory image
    std::memcpy(&new_value, moved.data() + r.Rva, 4);
    EXPECT_EQ(new_value, old_value + delta) << "fixup at RVA " << r.Rva;
    for (int i = 0; i < 4; ++i) fixed[r.Rva + i] = true;
    ++fixups;
  }
  EXPECT_GT(fixups, 0u);
  // Nothing else changed but the base field.
  size_t other = 0;
  for (size_t i = 0; i < original.size(); ++i) other += !fixed[i] && original[i] != moved[i];
  EXPECT_LE(other, 4u);
}

TEST(PeRebase, ThePeiImageIsItsOwnMemoryImage) {
  EXPECT_EQ(fv::WhyNotInPlace(*pe::ReadImage(ReadBytes(PEI_IMAGE)).Value), "");
}

TEST(PeRebase, AnImageWithSectionsAtOtherFileOffsetsCannotExecuteInPlace) {
  const pe::Image driver = *pe::ReadImage(ReadBytes(DXE_IMAGE)).Value;  // 4 KiB sections, 512-byte file alignment
  EXPECT_NE(fv::WhyNotInPlace(driver), "");
}

TEST(PeRebase, APe32BasePast4GiBIsRefused) {
  std::vector<uint8_t> image = ReadBytes(PEI_IMAGE);
  std::string error;
  EXPECT_FALSE(fv::RebaseImage(image, 0xFFFFF000, error));
  EXPECT_NE(error.find("4 GiB"), std::string::npos) << error;
}
#endif

TEST(PeRebase, HeadersLongerThanTheFileAreRefusedWithoutAByteTouchedPastIt) {
  // Headers as large as the image put the fixup at RVA 0x1020 "in the headers", 0xA20 bytes past the file's end.
  petest::TestImage crafted(true);
  crafted.Put32(petest::TestImage::Optional + 60, 0x3000);
  std::vector<uint8_t> file = crafted.Bytes;
  std::string error;
  EXPECT_FALSE(fv::RebaseImage(file, 0x200000000ull, error));
  EXPECT_NE(error.find("header size 0x3000 runs past the end of the file"), std::string::npos) << error;
  EXPECT_EQ(file, crafted.Bytes);
}

TEST(PeRebase, AnUnreadableImageIsRefused) {
  std::vector<uint8_t> junk(64, 0);
  std::string error;
  EXPECT_FALSE(fv::RebaseImage(junk, 0x1000, error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
