// Small volumes for the writer and reader tests: a module-like file with every section kind, built with the
// writer, and byte helpers to damage them.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "firmware/fv/dependency_expression.h"
#include "firmware/fv/ffs_file_builder.h"
#include "firmware/fv/fv_checksum.h"
#include "firmware/fv/volume_builder.h"
#include "uefi/pi_ffs_file.h"
#include "uefi/pi_ffs_section.h"
#include "uefi/pi_firmware_volume.h"

namespace fvtest {

inline const EFI_GUID kFileA = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
inline const EFI_GUID kFileB = {0xAAAAAAAA, 0xBBBB, 0xCCCC, {0xDD, 0xDD, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}};
inline const EFI_GUID kNeedA = {0x01020304, 0x0506, 0x0708, {1, 2, 3, 4, 5, 6, 7, 8}};
inline const EFI_GUID kNeedB = {0x0A0B0C0D, 0x0E0F, 0x1011, {9, 10, 11, 12, 13, 14, 15, 16}};

// A file of `type` with a dependency expression needing kNeedA and kNeedB, a fake image of `image_size`
// bytes whose data lies on `image_alignment` from the file data, a name and a version.
inline fv::FfsFileRecipe ModuleRecipe(const EFI_GUID& name, uint8_t type, uint32_t image_size = 300,
                                      uint32_t image_alignment = 0) {
  fv::FfsFileRecipe recipe;
  recipe.name = name;
  recipe.type = type;
  const EFI_GUID needs[2] = {kNeedA, kNeedB};
  std::vector<uint8_t> image(image_size);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + 1);
  recipe.sections = {fv::Section(type == EFI_FV_FILETYPE_PEIM ? EFI_SECTION_PEI_DEPEX : EFI_SECTION_DXE_DEPEX,
                                 fv::DepexRequiringAll(needs)),
                     fv::Section(EFI_SECTION_PE32, image), fv::UserInterfaceSection("Module"),
                     fv::VersionSection(7, "2.5")};
  if (image_alignment != 0) {
    recipe.aligned_section = 1;
    recipe.aligned_data = image_alignment;
    recipe.data_alignment = image_alignment < 16 ? 16 : image_alignment;
  }
  return recipe;
}

inline std::vector<uint8_t> Volume(const std::vector<fv::FfsFileRecipe>& recipes, bool erase_polarity = true) {
  std::vector<fv::VolumeFile> files;
  std::string error;
  for (const auto& s : recipes) files.push_back({fv::BuildFfsFile(s, erase_polarity, error), s.data_alignment});
  fv::VolumeOptions options;
  options.erase_polarity = erase_polarity;
  return fv::BuildVolume(files, options, error);
}

// A PEIM aligned to 128 after a DXE driver: the usual two-file volume of the tests.
inline std::vector<uint8_t> TwoFileVolume() {
  return Volume({ModuleRecipe(kFileB, EFI_FV_FILETYPE_DRIVER), ModuleRecipe(kFileA, EFI_FV_FILETYPE_PEIM, 500, 128)});
}

// `count` files of nothing but a header (RAW, 24 bytes each, back to back), the i-th named by i; with
// `repeat_first_name` the last file takes the first one's name. 87,000 of them make a volume of about 2 MiB.
inline std::vector<uint8_t> ManySmallFilesVolume(uint32_t count, bool repeat_first_name = false) {
  std::vector<fv::VolumeFile> files;
  files.reserve(count);
  std::string error;
  for (uint32_t i = 0; i < count; ++i) {
    fv::FfsFileRecipe recipe;
    recipe.name = kFileA;
    recipe.name.Data1 = repeat_first_name && i + 1 == count ? 0 : i;
    recipe.type = EFI_FV_FILETYPE_RAW;
    files.push_back({fv::BuildFfsFile(recipe, true, error), 1});
  }
  return fv::BuildVolume(files, fv::VolumeOptions{}, error);
}

// The volume with its block map replaced by `runs` (and the terminating entry): the header grows or shrinks by
// the difference and the files move with it, the length and the header checksum follow. The volume's files must
// have no data alignment above 8 (their offsets move by a multiple of 8 only).
inline std::vector<uint8_t> WithBlockMap(const std::vector<uint8_t>& v,
                                         const std::vector<EFI_FV_BLOCK_MAP_ENTRY>& runs) {
  const uint32_t old_header = fv::VolumeHeaderLength();
  const uint32_t header = static_cast<uint32_t>(sizeof(EFI_FIRMWARE_VOLUME_HEADER) + 8 * (runs.size() + 1));
  std::vector<uint8_t> out(v.begin(), v.begin() + sizeof(EFI_FIRMWARE_VOLUME_HEADER));
  for (const EFI_FV_BLOCK_MAP_ENTRY& e : runs) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&e);
    out.insert(out.end(), p, p + sizeof e);
  }
  out.resize(header, 0);
  out.insert(out.end(), v.begin() + old_header, v.end());
  EFI_FIRMWARE_VOLUME_HEADER h;
  std::memcpy(&h, out.data(), sizeof h);
  h.FvLength = out.size();
  h.HeaderLength = static_cast<uint16_t>(header);
  h.Checksum = 0;
  std::memcpy(out.data(), &h, sizeof h);
  h.Checksum = static_cast<uint16_t>(0x10000 - fv::Sum16({out.data(), header}));
  std::memcpy(out.data(), &h, sizeof h);
  return out;
}

// The length of `v` once WithBlockMap gave it `runs` runs.
inline uint64_t LengthWithRuns(const std::vector<uint8_t>& v, size_t runs) {
  return v.size() - fv::VolumeHeaderLength() + sizeof(EFI_FIRMWARE_VOLUME_HEADER) + 8 * (runs + 1);
}

// Fixes the header checksum of the file at `offset` after a test changed its header.
inline void ResumFileHeader(std::vector<uint8_t>& v, uint32_t offset) {
  v[offset + 16] = 0;
  const uint8_t file_sum = v[offset + 17], state = v[offset + 23];
  v[offset + 17] = 0;
  v[offset + 23] = 0;
  v[offset + 16] = fv::Checksum8({v.data() + offset, 24});
  v[offset + 17] = file_sum;
  v[offset + 23] = state;
}

// Fixes the data checksum of the file at `offset` after a test changed its data.
inline void ResumFileData(std::vector<uint8_t>& v, uint32_t offset) {
  const uint32_t size = v[offset + 20] | v[offset + 21] << 8 | v[offset + 22] << 16;
  v[offset + 17] = fv::Checksum8({v.data() + offset + 24, size - 24});
}

}  // namespace fvtest
