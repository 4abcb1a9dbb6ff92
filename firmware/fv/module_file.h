// A module's file in a read volume: found by its file GUID and type, with its image, dependency expression,
// name and version sections.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "firmware/fv/volume_reader.h"

namespace fv {

struct ModuleFile {
  const FvFile* file = nullptr;
  std::span<const uint8_t> image;  // the PE32 section's data
  uint32_t image_offset = 0;       // its offset in the volume
  std::span<const uint8_t> depex;  // empty when the file has none (dispatched unconditionally)
  std::string name;                // the user-interface name, if any
  std::string version;
};

// The file named `guid` that must be of `file_type` and hold exactly one PE32 section and at most one dependency
// expression of the phase the file type implies (PEI_DEPEX for a PEIM, DXE_DEPEX for a driver), one name and one
// version. Null with `error` otherwise.
std::optional<ModuleFile> FindModule(const FirmwareVolume& volume, const EFI_GUID& guid, uint8_t file_type,
                                     std::string& error);

}  // namespace fv
