// Loads an x86-64 UEFI driver image (PE32+) into executable host memory: header checks, sections mapped and
// protected, uninitialised data zero-filled, DIR64 base relocations applied. Nothing of the image runs here.
#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "uefi/system_table.h"

namespace sim {

// A mapped image; unmapped when the last owner lets go (keep it alive as long as its code may be called).
class LoadedPeImage {
 public:
  LoadedPeImage(uint8_t* base, size_t mapped_size, uint32_t image_size, uint32_t entry_rva)
      : base_(base), mapped_size_(mapped_size), image_size_(image_size), entry_rva_(entry_rva) {}
  ~LoadedPeImage();
  LoadedPeImage(const LoadedPeImage&) = delete;
  LoadedPeImage& operator=(const LoadedPeImage&) = delete;

  uint8_t* Base() const { return base_; }
  uint32_t ImageSize() const { return image_size_; }
  // The image's entry point, in the UEFI calling convention.
  EFI_IMAGE_ENTRY_POINT Entry() const { return reinterpret_cast<EFI_IMAGE_ENTRY_POINT>(base_ + entry_rva_); }

 private:
  uint8_t* base_;
  size_t mapped_size_;
  uint32_t image_size_;
  uint32_t entry_rva_;
};

struct PeLoadResult {
  std::shared_ptr<LoadedPeImage> image;  // null when the image was refused
  std::string error;                     // why, when refused
};

// Refuses (with a message naming the problem) anything but a relocatable x86-64 EFI driver whose sections,
// relocations and entry point lie inside the image.
PeLoadResult LoadPeImage(std::span<const uint8_t> bytes);
// As LoadPeImage for a file; errors start with the path.
PeLoadResult LoadPeImageFile(const std::string& path);

}  // namespace sim
