// The volume reader: what it finds in a good volume, and every damage it refuses with the offset and the problem.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <functional>

#include "firmware/fv/module_file.h"
#include "firmware/fv/volume_reader.h"
#include "tests/firmware/fv/volume_test_files.h"
#include "uefi/pi_dependency_expression.h"
#include "uefi/pi_firmware_volume.h"

namespace {

using namespace fvtest;

// The reader's refusal, checked to name the offset and the problem.
void ExpectRefused(const std::vector<uint8_t>& v, const std::string& offset, const std::string& problem) {
  const fv::VolumeReadResult r = fv::ReadVolume(v);
  ASSERT_FALSE(r.volume) << "accepted a volume with: " << problem;
  EXPECT_EQ(r.error.rfind("offset " + offset + ":", 0), 0u) << r.error;
  EXPECT_NE(r.error.find(problem), std::string::npos) << r.error;
}

struct Layout {
  std::vector<uint8_t> v = TwoFileVolume();
  fv::FirmwareVolume volume = *fv::ReadVolume(v).volume;
  const fv::FvFile& driver() const { return volume.files[0]; }
  const fv::FvFile& peim() const { return volume.files[2]; }
};

std::string Hex(uint64_t v) {
  char t[24];
  std::snprintf(t, sizeof t, "0x%llX", static_cast<unsigned long long>(v));
  return t;
}

TEST(VolumeReader, FindsEachFileWithItsSectionsNameAndVersion) {
  Layout l;
  ASSERT_NE(l.volume.FindFile(kFileA), nullptr);
  std::string error;
  const std::optional<fv::ModuleFile> m = fv::FindModule(l.volume, kFileA, EFI_FV_FILETYPE_PEIM, error);
  ASSERT_TRUE(m) << error;
  EXPECT_EQ(m->name, "Module");
  EXPECT_EQ(m->version, "2.5");
  EXPECT_EQ(m->image.size(), 500u);
  EXPECT_EQ(m->image[1], 8);
  EXPECT_EQ(l.v[m->image_offset], m->image[0]);
  EXPECT_EQ(m->depex.size(), 2 * 17 + 2u);
  EXPECT_FALSE(fv::FindModule(l.volume, kFileA, EFI_FV_FILETYPE_DRIVER, error));
  EXPECT_NE(error.find("not DRIVER"), std::string::npos) << error;
  EXPECT_FALSE(fv::FindModule(l.volume, kNeedA, EFI_FV_FILETYPE_DRIVER, error));
}

TEST(VolumeReader, ReadsAVolumeErasedToZeros) {
  const std::vector<uint8_t> v = Volume({ModuleRecipe(kFileA, EFI_FV_FILETYPE_DRIVER)}, false);
  const fv::VolumeReadResult r = fv::ReadVolume(v);
  ASSERT_TRUE(r.volume) << r.error;
  EXPECT_FALSE(r.volume->erase_polarity);
  EXPECT_EQ(r.volume->files.size(), 1u);
}

TEST(VolumeReaderRefuses, ATruncatedVolume) {
  std::vector<uint8_t> v = TwoFileVolume();
  ExpectRefused({v.begin(), v.begin() + 40}, "0x0", "truncated");
  v.resize(v.size() - 100);
  ExpectRefused(v, "0x20", "truncated");
}

TEST(VolumeReaderRefuses, AWrongSignature) {
  std::vector<uint8_t> v = TwoFileVolume();
  v[0x28] = 'X';
  ExpectRefused(v, "0x28", "signature");
}

TEST(VolumeReaderRefuses, AnotherFileSystem) {
  std::vector<uint8_t> v = TwoFileVolume();
  v[0x10] ^= 1;
  ExpectRefused(v, "0x10", "neither FFS2 nor FFS3");
}

TEST(VolumeReaderRefuses, ABadHeaderChecksum) {
  std::vector<uint8_t> v = TwoFileVolume();
  v[0x32] ^= 0x10;
  ExpectRefused(v, "0x32", "header checksum");
}

TEST(VolumeReaderRefuses, ABlockMapThatDoesNotCoverTheVolume) {
  std::vector<uint8_t> v = TwoFileVolume();
  v[0x38] += 1;  // one block more
  v[0x32] -= 1;  // the header sum stays zero
  ExpectRefused(v, "0x38", "block map covers");
}

TEST(VolumeReaderRefuses, ABadFileHeaderChecksum) {
  Layout l;
  l.v[l.driver().offset + 18] = EFI_FV_FILETYPE_APPLICATION;
  ExpectRefused(l.v, Hex(l.driver().offset + 16), "header checksum");
}

TEST(VolumeReaderRefuses, ABadFileDataChecksum) {
  Layout l;
  l.v[l.driver().offset + 100] ^= 0x01;
  ExpectRefused(l.v, Hex(l.driver().offset + 17), "data checksum");
}

TEST(VolumeReaderRefuses, AFileWithoutAChecksumWhoseByteIsNotTheFixedValue) {
  Layout l;
  const uint32_t at = l.driver().offset;
  l.v[at + 19] &= ~FFS_ATTRIB_CHECKSUM;
  ResumFileHeader(l.v, at);
  ExpectRefused(l.v, Hex(at + 17), "not 0xAA");
}

TEST(VolumeReaderRefuses, AFileRunningPastTheVolume) {
  Layout l;
  const uint32_t at = l.peim().offset;
  l.v[at + 22] = 0x10;  // a megabyte
  ResumFileHeader(l.v, at);
  ExpectRefused(l.v, Hex(at + 20), "runs past the volume");
}

TEST(VolumeReaderRefuses, AFileDataOffItsAlignment) {
  Layout l;
  const uint32_t at = l.driver().offset;
  l.v[at + 19] |= 2 << FFS_ATTRIB_DATA_ALIGNMENT_SHIFT;  // 128, which 0x48 + 24 is not
  ResumFileHeader(l.v, at);
  ExpectRefused(l.v, Hex(at), "128-byte alignment");
}

TEST(VolumeReaderRefuses, ASectionRunningPastItsFile) {
  Layout l;
  const fv::FvSection& s = l.driver().sections[1];  // the image
  l.v[s.offset + 1] = 0x40;
  ResumFileData(l.v, l.driver().offset);
  ExpectRefused(l.v, Hex(s.offset), "runs past the end of file");
}

TEST(VolumeReaderRefuses, AnUnknownSectionType) {
  Layout l;
  const fv::FvSection& s = l.driver().sections[2];
  l.v[s.offset + 3] = 0x30;
  ResumFileData(l.v, l.driver().offset);
  ExpectRefused(l.v, Hex(s.offset + 3), "unknown section type 0x30");
}

TEST(VolumeReaderRefuses, ADependencyExpressionWithABadOpcode) {
  Layout l;
  const fv::FvSection& s = l.driver().sections[0];
  l.v[s.offset + 4 + 17] = 0x0A;  // where the second PUSH stands
  ResumFileData(l.v, l.driver().offset);
  ExpectRefused(l.v, Hex(s.offset + 4 + 17), "unknown opcode 0x0A");
}

TEST(VolumeReaderRefuses, ADependencyExpressionWithoutEnd) {
  Layout l;
  const fv::FvSection& s = l.driver().sections[0];
  const uint32_t end = s.offset + 4 + 2 * 17 + 1;
  ASSERT_EQ(l.v[end], EFI_DEP_END);
  l.v[end] = EFI_DEP_TRUE;
  ResumFileData(l.v, l.driver().offset);
  ExpectRefused(l.v, Hex(end + 1), "no END");
}

TEST(VolumeReaderRefuses, DataInTheFreeSpace) {
  std::vector<uint8_t> v = TwoFileVolume();
  v[v.size() - 3] = 0x12;
  ExpectRefused(v, Hex(v.size() - 3), "free space");
}

TEST(VolumeReaderRefuses, ANameWithoutItsNul) {
  Layout l;
  const fv::FvSection& s = l.driver().sections[2];
  l.v[s.offset + 4 + 12] = 'x';  // "Module" is 6 characters: the NUL at 12
  ResumFileData(l.v, l.driver().offset);
  ExpectRefused(l.v, Hex(s.offset + 4), "no terminating NUL");
}

// Bounds of the header's and files' sums and fields, each at the bound (accepted) and past it (refused). The
// volume is one driver without data alignment, so a block map of another size can move its file.
struct BoundCase {
  const char* what;
  std::function<std::vector<uint8_t>()> volume;
  const char* offset;   // null: accepted
  const char* problem;  // in the refusal
};

std::vector<uint8_t> OneDriver() { return Volume({ModuleRecipe(kFileA, EFI_FV_FILETYPE_DRIVER)}); }

// The driver of OneDriver() with its alignment attribute bits replaced by `bits`.
std::vector<uint8_t> DriverWithAlignmentBits(uint8_t bits) {
  std::vector<uint8_t> v = OneDriver();
  const uint32_t at = fv::VolumeHeaderLength();
  v[at + 19] = static_cast<uint8_t>((v[at + 19] & ~(FFS_ATTRIB_DATA_ALIGNMENT | FFS_ATTRIB_DATA_ALIGNMENT_2)) | bits);
  ResumFileHeader(v, at);
  return v;
}

const BoundCase kBoundCases[] = {
    {"two runs covering the volume exactly",
     [] {
       const std::vector<uint8_t> v = OneDriver();
       const uint32_t rest = static_cast<uint32_t>(LengthWithRuns(v, 2)) - 8;
       return WithBlockMap(v, {{1, 8}, {1, rest}});
     },
     nullptr, ""},
    {"a second run one byte past the volume",
     [] {
       const std::vector<uint8_t> v = OneDriver();
       const uint32_t rest = static_cast<uint32_t>(LengthWithRuns(v, 2)) - 8;
       return WithBlockMap(v, {{1, 8}, {1, rest + 1}});
     },
     "0x40", "covers more than the volume's"},
    {"runs whose 64-bit total wraps round to the volume's length",
     [] {
       // (2^32 - 1)^2 + 2 * (2^32 - 1) + (length + 1) = 2^64 + length.
       const std::vector<uint8_t> v = OneDriver();
       const uint32_t length = static_cast<uint32_t>(LengthWithRuns(v, 3));
       return WithBlockMap(v, {{0xFFFFFFFF, 0xFFFFFFFF}, {2, 0xFFFFFFFF}, {1, length + 1}});
     },
     "0x38", "covers more than the volume's"},
    {"data on the 16-byte alignment the attribute field states", [] { return DriverWithAlignmentBits(1 << 3); },
     nullptr, ""},
    {"data off a 128 KiB alignment (second alignment bit, field 0)",
     [] { return DriverWithAlignmentBits(FFS_ATTRIB_DATA_ALIGNMENT_2); }, "0x48", "131072-byte alignment"},
    {"data off a 16 MiB alignment (second alignment bit, field 7)",
     [] { return DriverWithAlignmentBits(FFS_ATTRIB_DATA_ALIGNMENT_2 | 7 << 3); }, "0x48", "16777216-byte alignment"},
};

TEST(VolumeReaderBounds, EachBoundHoldsAtItsLimitAndRefusesPastIt) {
  for (const BoundCase& c : kBoundCases) {
    SCOPED_TRACE(c.what);
    const std::vector<uint8_t> v = c.volume();
    if (c.offset == nullptr) {
      const fv::VolumeReadResult r = fv::ReadVolume(v);
      EXPECT_TRUE(r.volume) << r.error;
    } else {
      ExpectRefused(v, c.offset, c.problem);
    }
  }
}

TEST(VolumeReaderBounds, AFileOnA128KiBAlignmentIsReadThere) {
  const std::vector<uint8_t> v = Volume(
      {ModuleRecipe(kFileB, EFI_FV_FILETYPE_DRIVER), ModuleRecipe(kFileA, EFI_FV_FILETYPE_PEIM, 500, 128 << 10)});
  ASSERT_FALSE(v.empty());
  const fv::VolumeReadResult r = fv::ReadVolume(v);
  ASSERT_TRUE(r.volume) << r.error;
  const fv::FvFile* peim = r.volume->FindFile(kFileA);
  ASSERT_NE(peim, nullptr);
  EXPECT_EQ((peim->offset + peim->header_size) % (128 << 10), 0u);
  EXPECT_EQ(fv::AlignmentOfAttributes(peim->attributes), 128u << 10);
}

TEST(VolumeReaderBounds, AVolumePast4GiBIsRefusedBeforeItsFilesAreRead) {
  // A sparse mapping: the header and block map on the first page, the rest never touched (reads as zeros, erased
  // for a volume of erase polarity 0).
  const uint64_t length = 0x100001000ull;
  void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(p, MAP_FAILED);
  const std::vector<uint8_t> small = Volume({}, false);
  std::vector<uint8_t> v = WithBlockMap(small, {{0x100001, 0x1000}});
  EFI_FIRMWARE_VOLUME_HEADER h;
  std::memcpy(&h, v.data(), sizeof h);
  h.FvLength = length;
  h.Checksum = 0;
  std::memcpy(v.data(), &h, sizeof h);
  h.Checksum = static_cast<uint16_t>(0x10000 - fv::Sum16({v.data(), h.HeaderLength}));
  std::memcpy(v.data(), &h, sizeof h);
  std::memcpy(p, v.data(), h.HeaderLength);
  const fv::VolumeReadResult r = fv::ReadVolume({static_cast<const uint8_t*>(p), length});
  munmap(p, length);
  ASSERT_FALSE(r.volume);
  EXPECT_EQ(r.error.rfind("offset 0x20:", 0), 0u) << r.error;
  EXPECT_NE(r.error.find("4 GiB"), std::string::npos) << r.error;
}

// The name check is a lookup per file: 87,000 files of about 2 MiB are read whole (bench/volume_reader_bench.cpp
// measures how long it takes), and a repeated name among them is still found.
TEST(VolumeReaderBounds, EightySevenThousandSmallFilesAreReadAndARepeatedNameAmongThemIsRefused) {
  const std::vector<uint8_t> v = ManySmallFilesVolume(87000);
  ASSERT_GE(v.size(), 2000000u);
  const fv::VolumeReadResult r = fv::ReadVolume(v);
  ASSERT_TRUE(r.volume) << r.error;
  EXPECT_EQ(r.volume->files.size(), 87000u);
  const std::vector<uint8_t> repeated = ManySmallFilesVolume(87000, true);
  ExpectRefused(repeated, Hex(r.volume->files.back().offset), "a second file named 00000000-2222-3333");
  ExpectRefused(repeated, Hex(r.volume->files.back().offset), "(the first is at 0x48)");
}

TEST(VolumeReaderRefuses, TwoFilesOfOneName) {
  const std::vector<uint8_t> v =
      Volume({ModuleRecipe(kFileA, EFI_FV_FILETYPE_DRIVER), ModuleRecipe(kFileA, EFI_FV_FILETYPE_DRIVER)});
  const fv::VolumeReadResult r = fv::ReadVolume(v);
  ASSERT_FALSE(r.volume);
  EXPECT_NE(r.error.find("a second file named"), std::string::npos) << r.error;
}

}  // namespace
