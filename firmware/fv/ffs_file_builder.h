// Writing FFS files: sections (image, dependency expression, name, version, raw padding) and the file header
// with its checksums and data-alignment attribute.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "uefi/guid.h"

namespace fv {

// One section: header and data (no padding after it).
std::vector<uint8_t> Section(uint8_t type, std::span<const uint8_t> data);
// EFI_SECTION_USER_INTERFACE with the name as a NUL-ended UCS-2 string (ASCII names).
std::vector<uint8_t> UserInterfaceSection(const std::string& name);
// EFI_SECTION_VERSION: build number and a NUL-ended UCS-2 string.
std::vector<uint8_t> VersionSection(uint16_t build, const std::string& text);

struct FfsFileRecipe {
  EFI_GUID name{};
  uint8_t type = 0;
  // Alignment of the file data in the volume: 1 or a value the attributes can express (16, 128, 512, 1 Ki,
  // 4 Ki, 32 Ki, 64 Ki; with the second alignment bit 128 Ki to 16 Mi, each power of two).
  uint32_t data_alignment = 1;
  bool data_checksum = true;  // false: FFS_FIXED_CHECKSUM instead of a sum of the data
  // Sections in order; each starts on a 4-byte boundary of the file.
  std::vector<std::vector<uint8_t>> sections;
  // When set, the section holding `aligned_section`'s data (index into sections) has its data (after its
  // header) at a multiple of `aligned_data` from the file data's start: a RAW section pads before it.
  int aligned_section = -1;
  uint32_t aligned_data = 0;
};

// The file's bytes: header (checksums, state valid for the erase polarity) and its sections. Sizes past 16 MiB
// and alignments the attribute cannot express are refused with an empty result and `error` set. With
// `data_offsets`, the offset from the file's first byte of each recipe section's data (after its header).
std::vector<uint8_t> BuildFfsFile(const FfsFileRecipe& recipe, bool erase_polarity, std::string& error,
                                  std::vector<size_t>* data_offsets = nullptr);

// A pad file (EFI_FV_FILETYPE_FFS_PAD) of `size` bytes (at least the header) whose data is erased bytes.
std::vector<uint8_t> BuildPadFile(uint32_t size, bool erase_polarity);

// The attribute bits for an alignment (the FFS_ATTRIB_DATA_ALIGNMENT field and FFS_ATTRIB_DATA_ALIGNMENT_2), or
// -1 when none expresses it.
int AlignmentAttribute(uint32_t alignment);
// The alignment an attribute byte states, both alignment attributes read (1 when none).
uint32_t AlignmentOfAttributes(uint8_t attributes);

}  // namespace fv
