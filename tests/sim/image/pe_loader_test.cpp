// Tests of the PE32+ loader with the built driver image and corrupted copies of it: every refusal is an error
// message and none of the image runs.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "firmware/pe/pe_image.h"
#include "sim/image/pe_loader.h"

namespace {

#ifdef DXE_IMAGE
std::vector<uint8_t> ImageBytes() {
  std::ifstream in(DXE_IMAGE, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t PeOffset(const std::vector<uint8_t>& b) {
  uint32_t v;
  std::memcpy(&v, b.data() + 0x3C, 4);
  return v;
}

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) { std::memcpy(b.data() + at, &v, 2); }
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

class PeLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_ = ImageBytes();
    ASSERT_GT(bytes_.size(), 1024u) << "cannot read " << DXE_IMAGE;
    opt_ = PeOffset(bytes_) + 24;
  }
  // The file offset of the first base relocation block.
  size_t RelocBlock() const {
    pe::Image image = *pe::ReadImage(bytes_).Value;
    pe::DataDirectory dir = image.DirectoryAt(pe::DirBaseReloc);
    for (const pe::Section& s : image.Sections) {
      if (dir.Rva >= s.VirtualAddress && dir.Rva < s.VirtualAddress + s.RawSize)
        return s.RawOffset + (dir.Rva - s.VirtualAddress);
    }
    return 0;
  }
  void ExpectRefused(const std::string& words) {
    sim::PeLoadResult r = sim::LoadPeImage(bytes_);
    EXPECT_EQ(r.image, nullptr);
    EXPECT_NE(r.error.find(words), std::string::npos) << r.error;
  }
  std::vector<uint8_t> bytes_;
  size_t opt_ = 0;
};

TEST_F(PeLoaderTest, BuiltImageLoadsRelocatedAtTheLoadersBase) {
  sim::PeLoadResult r = sim::LoadPeImage(bytes_);
  ASSERT_NE(r.image, nullptr) << r.error;
  pe::Image image = *pe::ReadImage(bytes_).Value;
  EXPECT_NE(reinterpret_cast<uint64_t>(r.image->Base()), image.ImageBase);
  // Every DIR64 fixup now points into the loaded image.
  size_t fixups = 0;
  for (const pe::Relocation& rel : image.Relocations) {
    if (rel.Type != pe::RelDir64) continue;
    uint64_t value;
    std::memcpy(&value, r.image->Base() + rel.Rva, 8);
    EXPECT_GE(value, reinterpret_cast<uint64_t>(r.image->Base()));
    EXPECT_LT(value, reinterpret_cast<uint64_t>(r.image->Base()) + image.SizeOfImage);
    ++fixups;
  }
  EXPECT_GT(fixups, 0u);
  // Uninitialised data (past the file bytes of a section) reads zero.
  for (const pe::Section& s : image.Sections) {
    for (uint32_t at = s.RawSize; at < s.VirtualSize; ++at) ASSERT_EQ(r.image->Base()[s.VirtualAddress + at], 0) << s.Name;
  }
}

TEST_F(PeLoaderTest, EveryTruncationIsRefused) {
  const std::vector<uint8_t> whole = bytes_;
  for (size_t length : {size_t{0}, size_t{63}, size_t{PeOffset(whole) + 10}, size_t{opt_ + 100}, whole.size() / 2,
                        whole.size() - 1}) {
    bytes_.assign(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    sim::PeLoadResult r = sim::LoadPeImage(bytes_);
    EXPECT_EQ(r.image, nullptr) << length;
    EXPECT_FALSE(r.error.empty()) << length;
  }
}

TEST_F(PeLoaderTest, CorruptSignatureIsRefused) {
  bytes_[PeOffset(bytes_)] = 'X';
  ExpectRefused("signature");
}

TEST_F(PeLoaderTest, WrongMachineIsRefused) {
  Put16(bytes_, PeOffset(bytes_) + 4, pe::MachineI386);
  ExpectRefused("machine type 0x14C is not x86-64");
}

TEST_F(PeLoaderTest, WrongSubsystemIsRefused) {
  Put16(bytes_, opt_ + 68, 3);
  ExpectRefused("subsystem 3");
}

TEST_F(PeLoaderTest, ImageSizeBeyondLimitIsRefused) {
  Put32(bytes_, opt_ + 56, 0x40000000);
  ExpectRefused("image size");
}

TEST_F(PeLoaderTest, EntryOutsideCodeIsRefused) {
  Put32(bytes_, opt_ + 16, 0);  // the headers
  ExpectRefused("entry point 0x0 is not in an executable section");
}

TEST_F(PeLoaderTest, RelocationOutsideTheImageIsRefused) {
  const size_t block = RelocBlock();
  ASSERT_NE(block, 0u);
  Put32(bytes_, block, 0x7FFFF000);  // page of the first block far past the image
  ExpectRefused("outside the image");
}

TEST_F(PeLoaderTest, RelocationOfAnotherTypeIsRefused) {
  const size_t block = RelocBlock();
  ASSERT_NE(block, 0u);
  Put16(bytes_, block + 8, static_cast<uint16_t>(pe::RelHighLow << 12));
  ExpectRefused("type 3");
}

TEST_F(PeLoaderTest, MissingFileIsRefusedWithItsPath) {
  sim::PeLoadResult r = sim::LoadPeImageFile("/nonexistent/driver.efi");
  EXPECT_EQ(r.image, nullptr);
  EXPECT_NE(r.error.find("/nonexistent/driver.efi"), std::string::npos);
}
#else
TEST(PeLoaderTest, NeedsTheBuiltImage) { GTEST_SKIP() << "the firmware images are not part of this build"; }
#endif

}  // namespace
