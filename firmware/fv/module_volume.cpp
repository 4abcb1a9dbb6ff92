// Building the volume of both modules.
#include "firmware/fv/module_volume.h"

#include <algorithm>

#include "firmware/fv/dependency_expression.h"
#include "firmware/fv/ffs_file_builder.h"
#include "firmware/fv/pe_rebase.h"
#include "firmware/fv/volume_builder.h"
#include "firmware/pe/pe_image.h"
#include "sim/dxe/driver_file_guid.h"
#include "uefi/pi_ffs_file.h"
#include "uefi/pi_ffs_section.h"
#include "uefi/protocols/hii_database.h"
#include "uefi/protocols/pcd.h"
#include "uefi/protocols/pcd_ppi.h"
#include "uefi/protocols/platform_callback_registry.h"
#include "uefi/protocols/report_status_code_handler_ppi.h"

namespace fv {

EFI_GUID DriverFileGuid() { return EFI_GUID PLATFORM_SMBIOS_DRIVER_FILE_GUID; }
EFI_GUID PeimFileGuid() {
  return EFI_GUID{0xD531DEF2, 0xE61B, 0x4031, {0xA4, 0x05, 0x14, 0xCB, 0x13, 0x0D, 0x17, 0x6A}};
}

std::vector<EFI_GUID> DriverDependencies() {
  return {EFI_GUID PCD_PROTOCOL_GUID, EFI_GUID EFI_HII_DATABASE_PROTOCOL_GUID,
          EFI_GUID PLATFORM_CALLBACK_REGISTRY_GUID};
}

std::vector<EFI_GUID> PeimDependencies() { return {gEfiPeiRscHandlerPpiGuid, gPcdPpiGuid}; }

namespace {

// The module's file: the dependency expression, the image section (data on `image_alignment`), name, version.
FfsFileRecipe ModuleRecipe(const EFI_GUID& name, uint8_t type, uint8_t depex_type, const std::vector<EFI_GUID>& needs,
                           std::span<const uint8_t> image, const char* ui, uint32_t image_alignment) {
  FfsFileRecipe recipe;
  recipe.name = name;
  recipe.type = type;
  recipe.sections = {Section(depex_type, DepexRequiringAll(needs)), Section(EFI_SECTION_PE32, image),
                     UserInterfaceSection(ui), VersionSection(kModuleBuild, kModuleVersion)};
  if (image_alignment > EFI_SECTION_ALIGNMENT) {
    recipe.aligned_section = 1;
    recipe.aligned_data = image_alignment;
    // The smallest data alignment the attribute expresses that covers the image's.
    for (uint32_t a : {16u, 128u, 512u, 1024u, 4096u, 32768u, 65536u}) {
      if (a >= image_alignment) {
        recipe.data_alignment = a;
        break;
      }
    }
  }
  return recipe;
}

}  // namespace

ModuleVolume BuildModuleVolume(std::span<const uint8_t> driver_image, std::span<const uint8_t> peim_image,
                               uint64_t base, std::string& error) {
  ModuleVolume out;
  pe::ReadResult driver = pe::ReadImage(driver_image), peim = pe::ReadImage(peim_image);
  if (!driver.Value || !peim.Value) {
    error = !driver.Value ? "driver image: " + driver.Error : "PEI module image: " + peim.Error;
    return out;
  }
  if (std::string why = WhyNotInPlace(*peim.Value); !why.empty()) {
    error = "PEI module image cannot execute in place: " + why;
    return out;
  }
  const uint32_t peim_alignment = std::max<uint32_t>(peim.Value->SectionAlignment, EFI_SECTION_ALIGNMENT);
  if (peim_alignment > 65536) {
    error =
        "PEI module image: section alignment " + std::to_string(peim_alignment) + " is more than a file can promise";
    return out;
  }
  const bool erase_polarity = true;
  FfsFileRecipe peim_recipe = ModuleRecipe(PeimFileGuid(), EFI_FV_FILETYPE_PEIM, EFI_SECTION_PEI_DEPEX,
                                           PeimDependencies(), peim_image, kPeimName, peim_alignment);
  // The driver is copied to memory by the DXE core: its section needs no alignment in flash.
  FfsFileRecipe driver_recipe = ModuleRecipe(DriverFileGuid(), EFI_FV_FILETYPE_DRIVER, EFI_SECTION_DXE_DEPEX,
                                             DriverDependencies(), driver_image, kDriverName, 0);

  // First pass: where the PEI module's image lands (rebasing changes no size, so the layout stays).
  std::vector<size_t> peim_offsets;
  std::vector<VolumeFile> files(2);
  files[0] = {BuildFfsFile(peim_recipe, erase_polarity, error, &peim_offsets), peim_recipe.data_alignment};
  files[1] = {BuildFfsFile(driver_recipe, erase_polarity, error), driver_recipe.data_alignment};
  if (files[0].bytes.empty() || files[1].bytes.empty()) return out;
  std::vector<FilePlacement> places = PlaceFiles(files);
  const uint64_t image_address = base + places[0].offset + peim_offsets[1];

  std::vector<uint8_t> rebased(peim_image.begin(), peim_image.end());
  if (!RebaseImage(rebased, image_address, error)) {
    error = "PEI module image: " + error;
    return out;
  }
  peim_recipe.sections[1] = Section(EFI_SECTION_PE32, rebased);
  files[0].bytes = BuildFfsFile(peim_recipe, erase_polarity, error);
  VolumeOptions options;
  options.erase_polarity = erase_polarity;
  out.bytes = BuildVolume(files, options, error);
  if (out.bytes.empty()) return out;
  out.peim_image_base = image_address;

  std::vector<size_t> driver_offsets;
  BuildFfsFile(driver_recipe, erase_polarity, error, &driver_offsets);
  const std::vector<size_t>* offsets[2] = {&peim_offsets, &driver_offsets};
  const FfsFileRecipe* recipes[2] = {&peim_recipe, &driver_recipe};
  for (size_t i = 0; i < 2; ++i) {
    if (places[i].pad_size != 0) {
      EFI_GUID pad;
      std::fill_n(reinterpret_cast<uint8_t*>(&pad), sizeof pad, 0xFF);
      out.files.push_back({"pad", pad, EFI_FV_FILETYPE_FFS_PAD, places[i].pad_offset, places[i].pad_size, 0});
    }
    out.files.push_back({i == 0 ? kPeimName : kDriverName, recipes[i]->name, recipes[i]->type, places[i].offset,
                         static_cast<uint32_t>(files[i].bytes.size()),
                         static_cast<uint32_t>(places[i].offset + (*offsets[i])[1])});
  }
  return out;
}

}  // namespace fv
