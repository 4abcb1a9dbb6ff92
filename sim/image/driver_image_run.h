// A built DXE driver image as the driver of a board run, in the emulator. Entry() is an entry for
// RunDxeDriver, BootBoard and BootBoardWithNvram: called with the attached platform's image handle and system
// table, it maps the platform's bus as MMIO, lends the image what the platform hands it (tables, the interfaces
// it is given, its pool buffers, the SMBIOS records) at the same addresses, with every service the tables hold
// reached as a host call whose pointer arguments are checked first (DxeServiceCatalog), fills
// the loaded-image protocol's base and size and runs the image's entry point; the platform's callback registry
// then runs the driver's callback in the emulator too. Faults are violations of the platform. The entry refers
// to this object: keep it alive as long as the platform it ran on. An image whose place overlaps the platform's
// MMIO windows or the flash below 4 GiB is placed elsewhere and relocated first, as the DXE core's loader does.
#pragma once
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/common/violations.h"
#include "sim/dxe/driver_entry.h"
#include "sim/image/dxe_service_catalog.h"
#include "sim/image/image_machine.h"
#include "sim/image/placed_image.h"
#include "uefi/system_table.h"

namespace sim {

class EmulatedDriver {
 public:
  // Places the image (an x86-64 driver); null with `error` set when it is refused.
  static std::unique_ptr<EmulatedDriver> Load(const std::string& path, std::string& error);
  // The same for an image's bytes (e.g. a firmware volume's PE32 section); errors start with `name`.
  static std::unique_ptr<EmulatedDriver> LoadBytes(std::span<const uint8_t> bytes, const std::string& name,
                                                   std::string& error);
  // The firmware-volume file the image came from: the DXE core names it in the loaded image's file path.
  void SetFileGuid(const EFI_GUID& guid) { file_guid_ = guid; }
  EmulatedDriver(const EmulatedDriver&) = delete;
  EmulatedDriver& operator=(const EmulatedDriver&) = delete;

  // At most this many image instructions per call into the image (default: the machine's 50 million).
  void SetInstructionBudget(uint64_t budget) { budget_ = budget; }
  // Exact instruction counts and stack depths in Calls() (slower; off by default, when both read 0).
  void SetExactCounting(bool exact) { exact_ = exact; }
  // Calls RunEntry of this object.
  DriverEntry Entry();
  // Every call made into the image so far (entry points, then callbacks), with instruction counts and stack use.
  const std::vector<GuestCallResult>& Calls() const { return calls_; }
  void ClearCalls() { calls_.clear(); }
  const PlacedImage& Image() const { return *image_; }

  // Runs the entry point on the attached platform (what Entry() does). The machine of the first run is kept for the
  // next ones (translated code, MMIO windows of the same layout) and restored to its state from before the first
  // platform's view, so a run sees nothing of the one before; an image placed elsewhere gets a new machine.
  EFI_STATUS RunEntry(EFI_HANDLE image_handle, EFI_SYSTEM_TABLE* system_table);

 private:
  EmulatedDriver(std::unique_ptr<PlacedImage> image, std::vector<uint8_t> bytes);
  static std::unique_ptr<EmulatedDriver> Arm(PlaceResult placed, std::vector<uint8_t> bytes, const std::string& name,
                                             std::string& error);
  // Places the image again from its file bytes, off every range of `reserved`; false with a violation reported.
  bool PlaceClearOf(const std::vector<ReservedRange>& reserved, Violations& violations);
  std::unique_ptr<PlacedImage> image_;
  std::vector<uint8_t> bytes_;                  // the image file, for a placement elsewhere
  std::unique_ptr<DxeServiceCatalog> catalog_;  // one per platform run, outlives the machine that calls it
  std::unique_ptr<ImageMachine> machine_;       // kept across platform runs, restored for each
  std::string name_;                            // what the image was loaded as
  std::vector<GuestCallResult> calls_;
  std::optional<EFI_GUID> file_guid_;
  std::optional<uint64_t> budget_;
  bool exact_ = false;
};

}  // namespace sim
