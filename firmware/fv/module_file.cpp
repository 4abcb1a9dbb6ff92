// Finding a module's file and its sections.
#include "firmware/fv/module_file.h"

#include "firmware/fv/dependency_expression.h"
#include "uefi/pi_ffs_file.h"
#include "uefi/pi_ffs_section.h"

namespace fv {

std::optional<ModuleFile> FindModule(const FirmwareVolume& volume, const EFI_GUID& guid, uint8_t file_type,
                                     std::string& error) {
  const FvFile* f = volume.FindFile(guid);
  if (f == nullptr) {
    error = "no file " + GuidString(guid) + " in the volume";
    return std::nullopt;
  }
  const std::string where = "file " + GuidString(guid) + " at offset " + std::to_string(f->offset);
  if (f->type != file_type) {
    error = where + " is of type " + FileTypeName(f->type) + ", not " + FileTypeName(file_type);
    return std::nullopt;
  }
  const uint8_t depex_type = file_type == EFI_FV_FILETYPE_PEIM ? EFI_SECTION_PEI_DEPEX : EFI_SECTION_DXE_DEPEX;
  ModuleFile m;
  m.file = f;
  unsigned images = 0, depexes = 0, names = 0, versions = 0;
  for (const FvSection& s : f->sections) {
    if (s.type == EFI_SECTION_PE32) {
      ++images;
      m.image = s.data;
      m.image_offset = s.offset + s.header_size;
    } else if (s.type == depex_type) {
      ++depexes;
      m.depex = s.data;
    } else if (s.type == EFI_SECTION_USER_INTERFACE) {
      ++names;
      m.name = s.text;
    } else if (s.type == EFI_SECTION_VERSION) {
      ++versions;
      m.version = s.text;
    } else if (s.type == EFI_SECTION_PEI_DEPEX || s.type == EFI_SECTION_DXE_DEPEX || s.type == EFI_SECTION_MM_DEPEX) {
      error = where + ": a " + SectionTypeName(s.type) + " section in a " + FileTypeName(file_type) + " file";
      return std::nullopt;
    }
  }
  if (images != 1) {
    error = where + " holds " + std::to_string(images) + " PE32 sections instead of one";
    return std::nullopt;
  }
  if (depexes > 1 || names > 1 || versions > 1) {
    error = where + " holds more than one dependency, name or version section";
    return std::nullopt;
  }
  return m;
}

}  // namespace fv
