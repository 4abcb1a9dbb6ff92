// A loaded driver image as the DXE driver of a board run. Entry() is an entry point for RunDxeDriver, BootBoard
// and BootBoardWithNvram: called with the current platform's image handle and system table, it backs the
// platform's hardware with memory at the devices' addresses (MemoryBackedHardware, kept in step at every Stall
// and at the end of the run), fills the loaded-image protocol's base and size, and calls the image's entry.
// The hardware sits at fixed addresses, so one ImageDriver is armed at a time.
#pragma once
#include <memory>

#include "sim/image/pe_loader.h"
#include "uefi/system_table.h"

namespace sim {

class ImageDriver {
 public:
  explicit ImageDriver(std::shared_ptr<LoadedPeImage> image);
  ~ImageDriver();
  ImageDriver(const ImageDriver&) = delete;
  ImageDriver& operator=(const ImageDriver&) = delete;

  // When the hardware cannot be backed with memory, the entry reports a violation naming the address range and
  // returns EFI_LOAD_ERROR without running any of the image.
  EFI_IMAGE_ENTRY_POINT Entry() const;
};

}  // namespace sim
