// The built PEI image on a simulated trace platform, in the emulator: the image executes in place at its link
// address (or wherever the process has room), finds a 32-bit PEI services table through the emulated IDTR,
// reaches the PPI database, the report-status-code handler and the PCD PPI through trap slots, and touches the
// configuration window, PMC and trace hub through MMIO forwarded to the platform's bus. The status-code records,
// caller GUIDs and the SiliconContext are the platform's own below-4-GiB memory, mapped at the same address.
#pragma once
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/image/image_machine.h"
#include "sim/image/placed_image.h"
#include "sim/pei/trace_platform.h"

namespace sim {

class PeimImageRun {
 public:
  // Places the image (refusing a truncated, corrupt or non-IA-32 one, and one linked over a window of the
  // platform's bus, with a message) and builds its platform view. The link map next to the image (FILE.map for FILE.efi), when present, names the debugger-stop
  // primitive: reaching it ends the call with the stop's message.
  static std::unique_ptr<PeimImageRun> Create(TracePlatform& platform, const std::string& image_path,
                                              std::string& error);
  // The same for an image already placed (e.g. adopted in place from a firmware volume) with its link map's text
  // (empty when there is none). Its block record (IMAGE_COVERAGE_DIR) goes under the machine's default name until
  // Machine().SetName names the image. The emulator's own memory is placed clear of the platform's bus and of
  // `also_reserved` (the flash the image executes from); null with `error` when there is no room for it.
  static std::unique_ptr<PeimImageRun> CreatePlaced(TracePlatform& platform, std::unique_ptr<PlacedImage> image,
                                                    std::string map_text, std::string& error,
                                                    std::vector<ReservedRange> also_reserved = {});
  ~PeimImageRun();

  // Moves the run to another platform of the same layout: the machine goes back to its snapshot from before the
  // platform view was built (keeping its translated code and its MMIO windows, which serve the new bus), and the
  // view is built again for `platform`. False (nothing changed) when the image lies over a window of the new
  // platform's bus. A run whose platform is gone may only be moved.
  bool Reattach(TracePlatform& platform);

  // Runs the entry point (file handle 0, the services pointer) and returns its status; a fault is reported as a
  // violation and returns EFI_ABORTED. The call's result is kept in LastCalls().
  EFI_STATUS RunEntry();
  // Reports one status code to every registered listener (the image's, by guest address); returns their
  // statuses as the host handler does. Each call's result is kept in LastCalls().
  std::vector<EFI_STATUS> Report(EFI_STATUS_CODE_TYPE type, EFI_STATUS_CODE_VALUE value, uint32_t instance = 0,
                                 const EFI_GUID* caller_id = nullptr, const void* data = nullptr);
  const std::vector<GuestCallResult>& LastCalls() const { return last_calls_; }

  ImageMachine& Machine() { return *machine_; }
  // The services pointer the image is handed (the word below the IDT points at it too).
  uint32_t ServicesPointer() const { return services_pointer_; }
  // An image symbol's guest address from the link map, if the map lists it.
  std::optional<uint64_t> Symbol(const std::string& name) const;

  struct Tables;

 private:
  PeimImageRun(TracePlatform& platform, std::unique_ptr<PlacedImage> image, std::span<const ReservedRange> reserved);
  void Build();
  void Note(const GuestCallResult& r, const std::string& what);

  TracePlatform* platform_;
  std::unique_ptr<PlacedImage> image_;
  std::unique_ptr<ImageMachine> machine_;
  std::unique_ptr<Tables> tables_;
  std::string map_text_;
  std::optional<uint64_t> stop_;  // the debugger-stop primitive's address, when the map names it
  uint32_t services_pointer_ = 0;
  std::vector<GuestCallResult> last_calls_;
};

}  // namespace sim
