// The volume writer: header and block map, checksums the layouts define, file and section alignment with pad
// files and pad sections, the erase polarity.
#include <gtest/gtest.h>

#include "firmware/fv/volume_reader.h"
#include "tests/firmware/fv/volume_test_files.h"
#include "uefi/pi_firmware_volume.h"

namespace {

using namespace fvtest;

TEST(VolumeWriter, TheHeaderSumsToZeroAndTheBlockMapCoversTheVolume) {
  const std::vector<uint8_t> v = TwoFileVolume();
  ASSERT_FALSE(v.empty());
  EXPECT_EQ(v.size() % 4096, 0u);
  EXPECT_EQ(fv::Sum16({v.data(), fv::VolumeHeaderLength()}), 0);
  EFI_FIRMWARE_VOLUME_HEADER h;
  std::memcpy(&h, v.data(), sizeof h);
  EXPECT_EQ(h.Signature, EFI_FVH_SIGNATURE);
  EXPECT_EQ(h.FvLength, v.size());
  EXPECT_NE(h.Attributes & EFI_FVB2_ERASE_POLARITY, 0u);
  EXPECT_GE((h.Attributes & EFI_FVB2_ALIGNMENT) >> EFI_FVB2_ALIGNMENT_SHIFT, 7u);  // covers the 128-byte file
  EFI_FV_BLOCK_MAP_ENTRY map[2];
  std::memcpy(map, v.data() + sizeof h, sizeof map);
  EXPECT_EQ(uint64_t{map[0].NumBlocks} * map[0].Length, v.size());
  EXPECT_EQ(map[1].NumBlocks, 0u);
  EXPECT_EQ(map[1].Length, 0u);
}

TEST(VolumeWriter, FileChecksumsSumTheHeaderAndTheDataToZero) {
  const std::vector<uint8_t> v = TwoFileVolume();
  const uint32_t at = fv::VolumeHeaderLength();  // the driver, first
  std::vector<uint8_t> header(v.begin() + at, v.begin() + at + 24);
  header[17] = 0;  // the file checksum and the state do not count
  header[23] = 0;
  EXPECT_EQ(fv::Sum8(header), 0);
  const uint32_t size = v[at + 20] | v[at + 21] << 8 | v[at + 22] << 16;
  EXPECT_EQ(v[at + 19] & FFS_ATTRIB_CHECKSUM, FFS_ATTRIB_CHECKSUM);
  EXPECT_EQ(static_cast<uint8_t>(fv::Sum8({v.data() + at + 24, size - 24}) + v[at + 17]), 0);
  EXPECT_EQ(v[at + 23], static_cast<uint8_t>(~0x07));  // header and data valid, erased to ones
}

TEST(VolumeWriter, WithoutADataChecksumTheFileCarriesTheFixedValue) {
  fv::FfsFileRecipe recipe = ModuleRecipe(kFileA, EFI_FV_FILETYPE_DRIVER);
  recipe.data_checksum = false;
  std::string error;
  const std::vector<uint8_t> file = fv::BuildFfsFile(recipe, false, error);
  EXPECT_EQ(file[17], FFS_FIXED_CHECKSUM);
  EXPECT_EQ(file[19] & FFS_ATTRIB_CHECKSUM, 0);
  EXPECT_EQ(file[23], 0x07);  // erase polarity 0: the state bits as they are
}

TEST(VolumeWriter, AnAlignedFileGetsAPadFileBeforeItAndItsImageSectionAPadSection) {
  const std::vector<uint8_t> v = TwoFileVolume();
  const fv::VolumeReadResult r = fv::ReadVolume(v);
  ASSERT_TRUE(r.volume) << r.error;
  ASSERT_EQ(r.volume->files.size(), 3u);
  EXPECT_EQ(r.volume->files[1].type, EFI_FV_FILETYPE_FFS_PAD);
  const fv::FvFile& peim = r.volume->files[2];
  EXPECT_EQ((peim.offset + 24) % 128, 0u);
  EXPECT_EQ(r.volume->files[1].offset + r.volume->files[1].size, peim.offset);
  const fv::FvSection* image = peim.SectionOfType(EFI_SECTION_PE32);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ((image->offset + 4 - (peim.offset + 24)) % 128, 0u);
  EXPECT_NE(peim.SectionOfType(EFI_SECTION_RAW), nullptr);
  // The pad file's data is erased flash.
  for (uint32_t i = r.volume->files[1].offset + 24; i < peim.offset; ++i) EXPECT_EQ(v[i], 0xFF);
}

TEST(VolumeWriter, AGapTooSmallForAPadFileMovesTheFileToTheNextAlignedPlace) {
  // The second file would start at 0x60; its data on 16 bytes needs the header at 0x68, a gap of 8 bytes where
  // no pad file fits, so it goes to 0x78 with a 24-byte pad file at 0x60.
  std::vector<fv::VolumeFile> files = {{std::vector<uint8_t>(24, 0), 1}, {std::vector<uint8_t>(40, 0), 16}};
  const std::vector<fv::FilePlacement> places = fv::PlaceFiles(files);
  ASSERT_EQ(places.size(), 2u);
  EXPECT_EQ(places[0].offset, 0x48u);
  EXPECT_EQ(places[0].pad_size, 0u);
  EXPECT_EQ(places[1].pad_offset, 0x60u);
  EXPECT_EQ(places[1].pad_size, 24u);
  EXPECT_EQ(places[1].offset, 0x78u);
}

TEST(VolumeWriter, AnAlignmentTheAttributeCannotExpressIsRefused) {
  fv::FfsFileRecipe recipe = ModuleRecipe(kFileA, EFI_FV_FILETYPE_PEIM);
  recipe.data_alignment = 32;
  std::string error;
  EXPECT_TRUE(fv::BuildFfsFile(recipe, true, error).empty());
  EXPECT_NE(error.find("32"), std::string::npos);
}

TEST(VolumeWriter, NamesAndVersionsAreNulEndedUcs2) {
  const std::vector<uint8_t> ui = fv::UserInterfaceSection("Ab");
  EXPECT_EQ(ui, (std::vector<uint8_t>{10, 0, 0, EFI_SECTION_USER_INTERFACE, 'A', 0, 'b', 0, 0, 0}));
  const std::vector<uint8_t> version = fv::VersionSection(0x0102, "1");
  EXPECT_EQ(version, (std::vector<uint8_t>{10, 0, 0, EFI_SECTION_VERSION, 0x02, 0x01, '1', 0, 0, 0}));
}

}  // namespace

namespace {

// Free space after the last file: none, or room for a file header at least (a shorter tail reads to a parser
// as a damaged file header). Checked for every end of a one-file volume around a block boundary.
TEST(VolumeWriter, FreeSpaceIsNoneOrHoldsAFileHeader) {
  for (uint32_t image = 3900; image < 4100; ++image) {
    const std::vector<uint8_t> v =
        fvtest::Volume({fvtest::ModuleRecipe(fvtest::kFileA, EFI_FV_FILETYPE_DRIVER, image)});
    ASSERT_FALSE(v.empty());
    const uint32_t at = fv::VolumeHeaderLength();
    const uint32_t size = v[at + 20] | v[at + 21] << 8 | v[at + 22] << 16;
    const uint64_t end = (at + size + 7) / 8 * 8;
    ASSERT_LE(end, v.size());
    const uint64_t free_space = v.size() - end;
    EXPECT_TRUE(free_space == 0 || free_space >= 24) << "image of " << image << " bytes leaves " << free_space;
  }
}

TEST(VolumeWriter, ABlockSizeOfZeroIsRefused) {
  std::string error;
  const std::vector<uint8_t> file =
      fv::BuildFfsFile(fvtest::ModuleRecipe(fvtest::kFileA, EFI_FV_FILETYPE_DRIVER), true, error);
  const fv::VolumeFile files[1] = {{file, 8}};
  fv::VolumeOptions options;
  options.block_size = 0;
  EXPECT_TRUE(fv::BuildVolume(files, options, error).empty());
  EXPECT_NE(error.find("block size"), std::string::npos) << error;
}

}  // namespace
