// Running a loaded image on the current DXE platform with its hardware backed by memory.
#include "sim/image/image_driver.h"

#include <cstdio>
#include <cstdlib>

#include "sim/dxe/dxe_platform.h"
#include "sim/image/memory_backed_hardware.h"
#include "uefi/status.h"

namespace sim {

namespace {

std::shared_ptr<LoadedPeImage> g_armed;

EFI_STATUS EFIAPI ImageEntry(EFI_HANDLE image_handle, EFI_SYSTEM_TABLE* system_table) {
  DxePlatform* platform = DxePlatform::Current();
  if (platform == nullptr || g_armed == nullptr || system_table != platform->SystemTable()) {
    std::fprintf(stderr, "simulator: an image entry was called without an armed image on the current platform\n");
    std::abort();
  }
  std::string error;
  std::shared_ptr<MemoryBackedHardware> hardware = MemoryBackedHardware::Create(*platform, error);
  if (!hardware) {
    platform->Violations().Report("image run: " + error);
    return EFI_LOAD_ERROR;
  }
  MemoryBackedHardware* backed = &platform->Keep(hardware);
  platform->Keep(g_armed);  // its code stays mapped as long as the platform may call back into it
  platform->SetStallHooks([backed] { backed->ApplyWrites(false); }, [backed] { backed->RenderTimedRegisters(); });
  platform->AddEndOfRunCheck([backed](Violations&) { backed->ApplyWrites(true); });
  platform->LoadedImage()->ImageBase = g_armed->Base();
  platform->LoadedImage()->ImageSize = g_armed->ImageSize();
  return g_armed->Entry()(image_handle, system_table);
}

}  // namespace

ImageDriver::ImageDriver(std::shared_ptr<LoadedPeImage> image) {
  if (g_armed != nullptr) {
    std::fprintf(stderr, "simulator: a second image driver was armed while one is armed\n");
    std::abort();
  }
  g_armed = std::move(image);
}

ImageDriver::~ImageDriver() { g_armed.reset(); }

EFI_IMAGE_ENTRY_POINT ImageDriver::Entry() const { return &ImageEntry; }

}  // namespace sim
