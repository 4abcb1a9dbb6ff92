// Reading a firmware volume from its bytes: the header, the files and their sections, every size, checksum,
// alignment and dependency expression checked before anything is trusted. A refusal names the offset (from the
// volume's first byte) and what is wrong there.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "uefi/guid.h"

namespace fv {

struct FvSection {
  uint8_t type = 0;
  uint32_t offset = 0;  // of the section header in the volume
  uint32_t header_size = 0;
  std::span<const uint8_t> data;  // after the header
  std::string text;               // USER_INTERFACE: the name; VERSION: the string (ASCII, other characters '?')
  uint16_t build = 0;             // VERSION: the build number
};

struct FvFile {
  EFI_GUID name{};
  uint8_t type = 0;
  uint8_t attributes = 0;
  uint32_t offset = 0;  // of the file header in the volume
  uint32_t size = 0;    // header included
  uint32_t header_size = 0;
  std::vector<FvSection> sections;  // none for raw and pad files

  // The first section of a type, or null.
  const FvSection* SectionOfType(uint8_t section_type) const;
};

struct FirmwareVolume {
  EFI_GUID file_system{};
  uint64_t length = 0;
  uint32_t attributes = 0;
  uint32_t header_length = 0;
  uint32_t block_size = 0;
  bool erase_polarity = false;
  std::vector<FvFile> files;  // in volume order, pad files included

  const FvFile* FindFile(const EFI_GUID& name) const;
};

struct VolumeReadResult {
  std::optional<FirmwareVolume> volume;
  std::string error;  // "offset 0x...: ..." when refused
};

// The spans of the result point into `bytes`, which must outlive it.
VolumeReadResult ReadVolume(std::span<const uint8_t> bytes);

// A file type's name ("DRIVER", "PEIM", ...) and a section type's ("PE32", ...), for messages.
std::string FileTypeName(uint8_t type);
std::string SectionTypeName(uint8_t type);

}  // namespace fv
