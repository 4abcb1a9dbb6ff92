// Placing the built images for the emulator, and corrupted copies of the driver image: every refusal is an
// error message and none of the image runs.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "firmware/fv/pe_rebase.h"
#include "firmware/pe/pe_image.h"
#include "sim/image/placed_image.h"

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

class PlacedImageTest : public ::testing::Test {
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
    sim::PlaceResult r = sim::PlaceImage(bytes_);
    EXPECT_EQ(r.image, nullptr);
    EXPECT_NE(r.error.find(words), std::string::npos) << r.error;
  }
  std::vector<uint8_t> bytes_;
  size_t opt_ = 0;
};

// Every DIR64 fixup of the placed image points into it.
void ExpectFixupsPointInside(const std::vector<uint8_t>& bytes, const sim::PlacedImage& placed) {
  pe::Image image = *pe::ReadImage(bytes).Value;
  size_t fixups = 0;
  for (const pe::Relocation& rel : image.Relocations) {
    if (rel.Type != pe::RelDir64) continue;
    uint64_t value;
    std::memcpy(&value, placed.Host() + rel.Rva, 8);
    EXPECT_GE(value, placed.Base());
    EXPECT_LT(value, placed.Base() + image.SizeOfImage);
    ++fixups;
  }
  EXPECT_GT(fixups, 0u);
}

TEST_F(PlacedImageTest, BuiltImageLoadsRelocatedAtAChosenAddress) {
  sim::PlaceResult r = sim::PlaceImage(bytes_, 0x5A0000000000ull);
  ASSERT_NE(r.image, nullptr) << r.error;
  pe::Image image = *pe::ReadImage(bytes_).Value;
  EXPECT_EQ(r.image->Base(), 0x5A0000000000ull);
  ExpectFixupsPointInside(bytes_, *r.image);
  // Uninitialised data (past the file bytes of a section) reads zero.
  for (const pe::Section& s : image.Sections) {
    for (uint32_t at = s.RawSize; at < s.VirtualSize; ++at)
      ASSERT_EQ(r.image->Host()[s.VirtualAddress + at], 0) << s.Name;
  }
}

TEST_F(PlacedImageTest, EveryTruncationIsRefused) {
  const std::vector<uint8_t> whole = bytes_;
  for (size_t length :
       {size_t{0}, size_t{63}, size_t{PeOffset(whole) + 10}, size_t{opt_ + 100}, whole.size() / 2, whole.size() - 1}) {
    bytes_.assign(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    sim::PlaceResult r = sim::PlaceImage(bytes_);
    EXPECT_EQ(r.image, nullptr) << length;
    EXPECT_FALSE(r.error.empty()) << length;
  }
}

TEST_F(PlacedImageTest, CorruptSignatureIsRefused) {
  bytes_[PeOffset(bytes_)] = 'X';
  ExpectRefused("signature");
}

TEST_F(PlacedImageTest, WrongMachineIsRefused) {
  Put16(bytes_, PeOffset(bytes_) + 4, pe::MachineI386);
  ExpectRefused("optional header magic 0x20B does not match the machine (PE32 0x10B)");
}

TEST_F(PlacedImageTest, WrongSubsystemIsRefused) {
  Put16(bytes_, opt_ + 68, 3);
  ExpectRefused("subsystem 3");
}

TEST_F(PlacedImageTest, ImageSizeBeyondLimitIsRefused) {
  Put32(bytes_, opt_ + 56, 0x40000000);
  ExpectRefused("image size");
}

TEST_F(PlacedImageTest, EntryOutsideCodeIsRefused) {
  Put32(bytes_, opt_ + 16, 0);  // the headers
  ExpectRefused("entry point 0x0 is not in an executable section");
}

TEST_F(PlacedImageTest, RelocationOutsideTheImageIsRefused) {
  const size_t block = RelocBlock();
  ASSERT_NE(block, 0u);
  Put32(bytes_, block, 0x7FFFF000);  // page of the first block far past the image
  ExpectRefused("outside the image");
}

TEST_F(PlacedImageTest, RelocationOfAnotherTypeIsRefused) {
  const size_t block = RelocBlock();
  ASSERT_NE(block, 0u);
  Put16(bytes_, block + 8, static_cast<uint16_t>(pe::RelHighLow << 12));
  ExpectRefused("type 3 at");
}

TEST_F(PlacedImageTest, ADriverLinkedOverAReservedRangeIsPlacedElsewhereAndRelocated) {
  // A 64-bit BAR's window, at an address free in this process also under AddressSanitizer (whose shadow
  // memory takes 0x80000000).
  std::string error;
  ASSERT_TRUE(fv::RebaseImage(bytes_, 0x5B0000000000ull, error)) << error;
  const sim::ReservedRange window[] = {{0x5B0000000000ull, 0x10000000, "BAR of 00:1F.0"}};
  {
    // Free in this process: without the range, the link address is where the image goes.
    sim::PlaceResult r = sim::PlaceImage(bytes_);
    ASSERT_NE(r.image, nullptr) << r.error;
    EXPECT_EQ(r.image->Base(), 0x5B0000000000ull);
  }
  sim::PlaceResult r = sim::PlaceImage(bytes_, std::nullopt, window);
  ASSERT_NE(r.image, nullptr) << r.error;
  EXPECT_EQ(sim::OverlappedRange(r.image->Base(), r.image->MappedSize(), window), nullptr) << r.image->Base();
  ExpectFixupsPointInside(bytes_, *r.image);
}

TEST_F(PlacedImageTest, WhenTheKernelsChoiceIsReservedTooTheImageGoesJustBelowTheRange) {
  std::string error;
  ASSERT_TRUE(fv::RebaseImage(bytes_, 0x80000000, error)) << error;
  // The link address and the top of user space, where the kernel puts a mapping of its own choosing.
  const sim::ReservedRange reserved[] = {{0x80000000, 0x10000000, "PCI configuration window"},
                                         {0x700000000000ull, 0x100000000000ull, "the kernel's choice"}};
  sim::PlaceResult r = sim::PlaceImage(bytes_, std::nullopt, reserved);
  ASSERT_NE(r.image, nullptr) << r.error;
  EXPECT_EQ(sim::OverlappedRange(r.image->Base(), r.image->MappedSize(), reserved), nullptr) << r.image->Base();
  EXPECT_EQ(r.image->Base() + r.image->MappedSize(), 0x700000000000ull);
  ExpectFixupsPointInside(bytes_, *r.image);
}

TEST_F(PlacedImageTest, AChosenAddressOverAReservedRangeIsRefused) {
  const sim::ReservedRange window[] = {{0x5A0000002000ull, 0x1000, "BAR of 00:1F.0"}};
  sim::PlaceResult r = sim::PlaceImage(bytes_, 0x5A0000000000ull, window);
  EXPECT_EQ(r.image, nullptr);
  EXPECT_NE(r.error.find("over the platform's BAR of 00:1F.0 at 0x5A0000002000..0x5A0000002FFF"), std::string::npos)
      << r.error;
}

TEST_F(PlacedImageTest, MissingFileIsRefusedWithItsPath) {
  sim::PlaceResult r = sim::PlaceImageFile("/nonexistent/driver.efi");
  EXPECT_EQ(r.image, nullptr);
  EXPECT_NE(r.error.find("/nonexistent/driver.efi"), std::string::npos);
}
TEST(PlacedPeimImage, ExecutesInPlaceAtItsLinkAddressWhenThatIsFreeAndKeepsItsPackedSections) {
  std::ifstream in(PEI_IMAGE, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  sim::PlaceResult r = sim::PlaceImage(bytes);
  ASSERT_NE(r.image, nullptr) << r.error;
  EXPECT_FALSE(r.image->Is64());
  EXPECT_TRUE(r.image->ExecutesInPlace());
  EXPECT_EQ(r.image->Base(), 0x400000u);  // nothing else of this test program lives there
  EXPECT_GT(r.image->Fixups(), 0u);
  ASSERT_NE(r.image->SectionAt(r.image->Entry()), nullptr);
  EXPECT_EQ(r.image->SectionAt(r.image->Entry())->name, ".text");
  // A second copy cannot have the link address: it lands elsewhere below 4 GiB, relocated.
  sim::PlaceResult second = sim::PlaceImage(bytes);
  ASSERT_NE(second.image, nullptr) << second.error;
  EXPECT_NE(second.image->Base(), 0x400000u);
  EXPECT_LT(second.image->Base() + second.image->MappedSize(), 0x100000000ull);
  EXPECT_EQ(std::memcmp(second.image->Host(), r.image->Host(), 0x200), 0);  // same headers
  EXPECT_NE(std::memcmp(second.image->Host() + 0x200, r.image->Host() + 0x200, r.image->ImageSize() - 0x200), 0);
}

// An IA-32 PEI module executes in place at its link address: one linked over a window cannot be moved.
TEST(PlacedPeimImage, LinkedOverAReservedRangeItIsRefusedNamingTheRange) {
  std::ifstream in(PEI_IMAGE, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const sim::ReservedRange window[] = {{0x300000, 0x200000, "test window"}};  // the image is linked at 0x400000
  for (const sim::PlaceResult& r :
       {sim::PlaceImage(bytes, std::nullopt, window), sim::AdoptImageInPlace(bytes, 0x400000, window)}) {
    EXPECT_EQ(r.image, nullptr);
    EXPECT_NE(r.error.find("linked at 0x400000.."), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("over the platform's test window at 0x300000..0x4FFFFF"), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("cannot be moved"), std::string::npos) << r.error;
  }
  // Clear of the range it is adopted where it lies.
  EXPECT_NE(sim::AdoptImageInPlace(bytes, 0x400000).image, nullptr);
}
#else
TEST(PlacedImageTest, NeedsTheBuiltImage) { GTEST_SKIP() << "the firmware images are not part of this build"; }
#endif

// The overlap test at the edges of a range, and for a range that reaches the top of the address space.
TEST(OverlappedRange, FindsTheFirstRangeSharingAByte) {
  const sim::ReservedRange ranges[] = {{0x1000, 0x1000, "low"}, {0xFFFFFFFFFFFFF000ull, 0x1000, "top"}};
  struct Row {
    uint64_t start, size;
    const char* hit;  // null: none
  };
  const Row rows[] = {
      {0x0, 0x1000, nullptr},
      {0x0, 0x1001, "low"},
      {0x1FFF, 1, "low"},
      {0x2000, 0x1000, nullptr},
      {0x1800, 0, nullptr},
      {0xFFFFFFFFFFFFE000ull, 0x1000, nullptr},
      {0xFFFFFFFFFFFFE000ull, 0x1001, "top"},
      {0xFFFFFFFFFFFFFFFFull, 1, "top"},
  };
  for (const Row& row : rows) {
    const sim::ReservedRange* r = sim::OverlappedRange(row.start, row.size, ranges);
    EXPECT_EQ(r == nullptr ? std::string("none") : r->name, row.hit == nullptr ? "none" : row.hit)
        << row.start << "+" << row.size;
  }
}

}  // namespace
