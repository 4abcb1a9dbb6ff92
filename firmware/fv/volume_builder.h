// Writing a firmware volume: FFS2 file system, header checksum, a block map of equal blocks, the files on
// their alignments with pad files in the gaps, the rest erased.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "uefi/guid.h"

namespace fv {

// A built FFS file (ffs_file_builder.h) and the alignment of its data in the volume.
struct VolumeFile {
  std::vector<uint8_t> bytes;
  uint32_t data_alignment = 1;
};

struct VolumeOptions {
  uint32_t block_size = 4096;
  bool erase_polarity = true;  // erased flash reads as ones
};

// Where each file (and the pad file before it, if one is needed) goes: offsets from the volume's start.
struct FilePlacement {
  uint32_t pad_offset = 0;  // 0: no pad file
  uint32_t pad_size = 0;
  uint32_t offset = 0;
};

// The header's length: the 56-byte header and a block map of one run and its terminator.
uint32_t VolumeHeaderLength();
// Places the files in order after the header, each on an 8-byte boundary with its data on its alignment. A gap
// too small for a pad file moves the file on to the next place that leaves room for one.
std::vector<FilePlacement> PlaceFiles(std::span<const VolumeFile> files);

// The volume's bytes, its length a whole number of blocks. Empty with `error` for files that do not fit a
// volume of 32-bit length.
std::vector<uint8_t> BuildVolume(std::span<const VolumeFile> files, const VolumeOptions& options, std::string& error);

}  // namespace fv
