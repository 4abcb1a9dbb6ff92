// FFS file and section writing.
#include "firmware/fv/ffs_file_builder.h"

#include <cstring>

#include "firmware/fv/fv_checksum.h"
#include "uefi/pi_ffs_file.h"
#include "uefi/pi_ffs_section.h"

namespace fv {

namespace {

constexpr uint32_t kMaxSize = 0xFFFFFF;  // a 24-bit size; larger needs the large-file forms
// The data alignment by the attribute's 3-bit field, and with FFS_ATTRIB_DATA_ALIGNMENT_2 set (128 KiB to 16 MiB).
constexpr uint32_t kAlignments[8] = {1, 16, 128, 512, 1024, 4096, 32768, 65536};
constexpr uint32_t kAlignments2[8] = {128u << 10, 256u << 10, 512u << 10, 1u << 20,
                                      2u << 20,   4u << 20,   8u << 20,   16u << 20};

void PutSize24(uint8_t* at, uint32_t size) {
  at[0] = static_cast<uint8_t>(size);
  at[1] = static_cast<uint8_t>(size >> 8);
  at[2] = static_cast<uint8_t>(size >> 16);
}

std::vector<uint8_t> Ucs2(const std::string& text) {
  std::vector<uint8_t> out;
  for (char c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(0);
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

// A file's state byte: header and data valid, in the volume's polarity.
uint8_t ValidState(bool erase_polarity) {
  const uint8_t state = EFI_FILE_HEADER_CONSTRUCTION | EFI_FILE_HEADER_VALID | EFI_FILE_DATA_VALID;
  return erase_polarity ? static_cast<uint8_t>(~state) : state;
}

std::vector<uint8_t> FileWithHeader(const EFI_GUID& name, uint8_t type, uint8_t attributes, std::vector<uint8_t> data,
                                    bool erase_polarity) {
  EFI_FFS_FILE_HEADER h{};
  h.Name = name;
  h.Type = type;
  h.Attributes = attributes;
  PutSize24(h.Size, static_cast<uint32_t>(sizeof h + data.size()));
  // The header sum counts State and FileChecksum as zero.
  h.HeaderChecksum = Checksum8({reinterpret_cast<const uint8_t*>(&h), sizeof h});
  h.FileChecksum = (attributes & FFS_ATTRIB_CHECKSUM) != 0 ? Checksum8(data) : FFS_FIXED_CHECKSUM;
  h.State = ValidState(erase_polarity);
  std::vector<uint8_t> out(sizeof h + data.size());
  std::memcpy(out.data(), &h, sizeof h);
  if (!data.empty()) std::memcpy(out.data() + sizeof h, data.data(), data.size());
  return out;
}

}  // namespace

std::vector<uint8_t> Section(uint8_t type, std::span<const uint8_t> data) {
  constexpr size_t kHeader = sizeof(EFI_COMMON_SECTION_HEADER);
  std::vector<uint8_t> out(kHeader + data.size());
  PutSize24(out.data(), static_cast<uint32_t>(out.size()));
  out[3] = type;
  if (!data.empty()) std::memcpy(out.data() + kHeader, data.data(), data.size());
  return out;
}

std::vector<uint8_t> UserInterfaceSection(const std::string& name) {
  return Section(EFI_SECTION_USER_INTERFACE, Ucs2(name));
}

std::vector<uint8_t> VersionSection(uint16_t build, const std::string& text) {
  std::vector<uint8_t> data = {static_cast<uint8_t>(build), static_cast<uint8_t>(build >> 8)};
  const std::vector<uint8_t> s = Ucs2(text);
  data.insert(data.end(), s.begin(), s.end());
  return Section(EFI_SECTION_VERSION, data);
}

int AlignmentAttribute(uint32_t alignment) {
  for (int i = 0; i < 8; ++i) {
    if (kAlignments[i] == alignment) return i << FFS_ATTRIB_DATA_ALIGNMENT_SHIFT;
    if (kAlignments2[i] == alignment) return i << FFS_ATTRIB_DATA_ALIGNMENT_SHIFT | FFS_ATTRIB_DATA_ALIGNMENT_2;
  }
  return -1;
}

uint32_t AlignmentOfAttributes(uint8_t attributes) {
  const unsigned field = (attributes & FFS_ATTRIB_DATA_ALIGNMENT) >> FFS_ATTRIB_DATA_ALIGNMENT_SHIFT;
  return (attributes & FFS_ATTRIB_DATA_ALIGNMENT_2) != 0 ? kAlignments2[field] : kAlignments[field];
}

std::vector<uint8_t> BuildFfsFile(const FfsFileRecipe& recipe, bool erase_polarity, std::string& error,
                                  std::vector<size_t>* data_offsets) {
  const int alignment_bits = AlignmentAttribute(recipe.data_alignment);
  if (alignment_bits < 0) {
    error = "file data alignment " + std::to_string(recipe.data_alignment) + " is not one the FFS attribute expresses";
    return {};
  }
  if (recipe.aligned_section >= 0 &&
      (recipe.aligned_data == 0 || (recipe.aligned_data & (recipe.aligned_data - 1)) != 0 ||
       recipe.aligned_data < EFI_SECTION_ALIGNMENT || recipe.aligned_data > recipe.data_alignment)) {
    error = "section data alignment " + std::to_string(recipe.aligned_data) +
            " is not a power of two between 4 and the file's data alignment";
    return {};
  }
  std::vector<uint8_t> data;
  for (size_t i = 0; i < recipe.sections.size(); ++i) {
    while (data.size() % EFI_SECTION_ALIGNMENT != 0) data.push_back(0);
    if (static_cast<int>(i) == recipe.aligned_section) {
      const size_t after_header = data.size() + sizeof(EFI_COMMON_SECTION_HEADER);
      const size_t pad = (recipe.aligned_data - after_header % recipe.aligned_data) % recipe.aligned_data;
      if (pad != 0) {
        const std::vector<uint8_t> zeros(pad - sizeof(EFI_COMMON_SECTION_HEADER), 0);
        const std::vector<uint8_t> raw = Section(EFI_SECTION_RAW, zeros);
        data.insert(data.end(), raw.begin(), raw.end());
      }
    }
    if (data_offsets != nullptr)
      data_offsets->push_back(sizeof(EFI_FFS_FILE_HEADER) + data.size() + sizeof(EFI_COMMON_SECTION_HEADER));
    data.insert(data.end(), recipe.sections[i].begin(), recipe.sections[i].end());
  }
  if (data.size() + sizeof(EFI_FFS_FILE_HEADER) > kMaxSize) {
    error = "file of " + std::to_string(data.size()) + " bytes of sections exceeds the 16 MiB of a 24-bit size";
    return {};
  }
  const uint8_t attributes = static_cast<uint8_t>(alignment_bits | (recipe.data_checksum ? FFS_ATTRIB_CHECKSUM : 0));
  return FileWithHeader(recipe.name, recipe.type, attributes, std::move(data), erase_polarity);
}

std::vector<uint8_t> BuildPadFile(uint32_t size, bool erase_polarity) {
  const size_t data = size > sizeof(EFI_FFS_FILE_HEADER) ? size - sizeof(EFI_FFS_FILE_HEADER) : 0;
  EFI_GUID name;
  std::memset(&name, 0xFF, sizeof name);  // pad files have no name of their own
  return FileWithHeader(name, EFI_FV_FILETYPE_FFS_PAD, 0, std::vector<uint8_t>(data, erase_polarity ? 0xFF : 0x00),
                        erase_polarity);
}

}  // namespace fv
