// The volume the build makes of the two modules: their file GUIDs, names, dependency expressions, the volume's
// base address, and the build itself (the PEI module rebased to where it executes in place).
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "uefi/guid.h"

namespace fv {

// Where the volume sits in the flash map: 1 MiB below 4 GiB. The PEI module executes in place there.
constexpr uint64_t kModuleVolumeBase = 0xFFF00000u;

// The driver's file GUID is the one the simulated loaded image carries (sim/dxe/driver_file_guid.h).
EFI_GUID DriverFileGuid();
EFI_GUID PeimFileGuid();  // D531DEF2-E61B-4031-A405-14CB130D176A
constexpr const char* kDriverName = "PlatformSmbiosDriver";
constexpr const char* kPeimName = "TraceStatusPeim";
constexpr const char* kModuleVersion = "1.0";
constexpr uint16_t kModuleBuild = 1;

// What each entry point needs before it can run: the driver the PCD protocol, the HII database and the platform
// callback registry; the PEI module the report-status-code handler PPI and the PCD PPI.
std::vector<EFI_GUID> DriverDependencies();
std::vector<EFI_GUID> PeimDependencies();

// One file of the built volume, for the build's report and the tests.
struct PlacedFile {
  std::string what;  // "pad", or the module's name
  EFI_GUID name{};
  uint8_t type = 0;
  uint32_t offset = 0;
  uint32_t size = 0;
  uint32_t image_offset = 0;  // the PE32 image's first byte (modules only)
};

struct ModuleVolume {
  std::vector<uint8_t> bytes;
  std::vector<PlacedFile> files;  // in volume order
  uint64_t peim_image_base = 0;   // the address the PEI module was rebased to
};

// The PEI module first (its image section on its own section alignment, a pad file before it when needed), then
// the driver. Empty bytes with `error` when an image is unusable (unreadable, not relocatable, not its own memory
// image for executing in place).
ModuleVolume BuildModuleVolume(std::span<const uint8_t> driver_image, std::span<const uint8_t> peim_image,
                               uint64_t base, std::string& error);

}  // namespace fv
