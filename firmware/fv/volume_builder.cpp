// Firmware volume writing.
#include "firmware/fv/volume_builder.h"

#include <algorithm>
#include <cstring>

#include "firmware/fv/ffs_file_builder.h"
#include "firmware/fv/fv_checksum.h"
#include "uefi/pi_ffs_file.h"
#include "uefi/pi_firmware_volume.h"

namespace fv {

namespace {

uint32_t Align(uint64_t value, uint32_t alignment) {
  return static_cast<uint32_t>((value + alignment - 1) / alignment * alignment);
}

unsigned Log2(uint32_t v) {
  unsigned n = 0;
  while ((1u << n) < v) ++n;
  return n;
}

}  // namespace

uint32_t VolumeHeaderLength() { return sizeof(EFI_FIRMWARE_VOLUME_HEADER) + 2 * sizeof(EFI_FV_BLOCK_MAP_ENTRY); }

std::vector<FilePlacement> PlaceFiles(std::span<const VolumeFile> files) {
  std::vector<FilePlacement> out;
  uint64_t at = Align(VolumeHeaderLength(), EFI_FFS_FILE_ALIGNMENT);
  for (const VolumeFile& f : files) {
    FilePlacement p;
    const uint32_t a = std::max<uint32_t>(f.data_alignment, EFI_FFS_FILE_ALIGNMENT);
    uint64_t data = Align(at + sizeof(EFI_FFS_FILE_HEADER), a);
    // A gap needs a whole pad file (its header at least); otherwise the next aligned place.
    while (data - sizeof(EFI_FFS_FILE_HEADER) != at &&
           data - sizeof(EFI_FFS_FILE_HEADER) - at < sizeof(EFI_FFS_FILE_HEADER))
      data += a;
    p.offset = static_cast<uint32_t>(data - sizeof(EFI_FFS_FILE_HEADER));
    if (p.offset != at) {
      p.pad_offset = static_cast<uint32_t>(at);
      p.pad_size = static_cast<uint32_t>(p.offset - at);
    }
    out.push_back(p);
    at = Align(p.offset + f.bytes.size(), EFI_FFS_FILE_ALIGNMENT);
  }
  return out;
}

std::vector<uint8_t> BuildVolume(std::span<const VolumeFile> files, const VolumeOptions& options, std::string& error) {
  const std::vector<FilePlacement> places = PlaceFiles(files);
  uint64_t end = VolumeHeaderLength();
  uint32_t max_alignment = EFI_FFS_FILE_ALIGNMENT;
  for (size_t i = 0; i < files.size(); ++i) {
    end = places[i].offset + files[i].bytes.size();
    max_alignment = std::max(max_alignment, files[i].data_alignment);
  }
  if (options.block_size == 0) {
    error = "a volume's block size cannot be 0";
    return {};
  }
  uint64_t length = (end + options.block_size - 1) / options.block_size * options.block_size;
  // Free space too short for a file header reads to a parser as a damaged file: a block more then.
  const uint64_t free_space = length - std::min<uint64_t>(length, Align(end, EFI_FFS_FILE_ALIGNMENT));
  if (free_space != 0 && free_space < sizeof(EFI_FFS_FILE_HEADER)) length += options.block_size;
  if (length > 0xFFFFFFFFu) {
    error = "the files need " + std::to_string(end) + " bytes, more than a volume of 32-bit length holds";
    return {};
  }
  std::vector<uint8_t> bytes(length, options.erase_polarity ? 0xFF : 0x00);

  EFI_FIRMWARE_VOLUME_HEADER h{};
  h.FileSystemGuid = EFI_GUID EFI_FIRMWARE_FILE_SYSTEM2_GUID;
  h.FvLength = length;
  h.Signature = EFI_FVH_SIGNATURE;
  // Readable, memory-mapped (the PEI module executes from it), not writable; aligned to at least a block.
  h.Attributes = EFI_FVB2_READ_ENABLED_CAP | EFI_FVB2_READ_STATUS | EFI_FVB2_MEMORY_MAPPED |
                 (options.erase_polarity ? EFI_FVB2_ERASE_POLARITY : 0) |
                 (Log2(std::max(max_alignment, options.block_size)) << EFI_FVB2_ALIGNMENT_SHIFT);
  h.HeaderLength = static_cast<uint16_t>(VolumeHeaderLength());
  h.Revision = EFI_FVH_REVISION;
  std::memcpy(bytes.data(), &h, sizeof h);
  const EFI_FV_BLOCK_MAP_ENTRY map[2] = {{static_cast<uint32_t>(length / options.block_size), options.block_size},
                                         {0, 0}};
  std::memcpy(bytes.data() + sizeof h, map, sizeof map);
  const uint16_t sum = Sum16({bytes.data(), VolumeHeaderLength()});
  const uint16_t checksum = static_cast<uint16_t>(0x10000 - sum);
  std::memcpy(bytes.data() + offsetof(EFI_FIRMWARE_VOLUME_HEADER, Checksum), &checksum, 2);

  for (size_t i = 0; i < files.size(); ++i) {
    if (places[i].pad_size != 0) {
      const std::vector<uint8_t> pad = BuildPadFile(places[i].pad_size, options.erase_polarity);
      std::copy(pad.begin(), pad.end(), bytes.begin() + places[i].pad_offset);
    }
    std::copy(files[i].bytes.begin(), files[i].bytes.end(), bytes.begin() + places[i].offset);
  }
  return bytes;
}

}  // namespace fv
