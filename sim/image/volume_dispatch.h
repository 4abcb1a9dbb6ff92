// Dispatching a module from a firmware volume, as the DXE and PEI dispatchers do: the volume read and checked,
// the module's file found by its GUID, its dependency expression evaluated against the platform's protocol or
// PPI database, and for the PEI module the volume mapped read-only at its base address so that the module
// executes in place from it.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "firmware/fv/module_file.h"
#include "firmware/fv/volume_reader.h"
#include "sim/dxe/protocol_database.h"
#include "sim/image/peim_image_run.h"
#include "sim/pei/ppi_database.h"

namespace sim {

// A volume read from a file with its bytes.
struct LoadedVolume {
  std::string path;
  std::vector<uint8_t> bytes;
  fv::FirmwareVolume volume;  // points into bytes
};

// Reads and checks the file; null with `error` ("PATH: offset 0x...: what is wrong") when refused.
std::unique_ptr<LoadedVolume> LoadVolumeFile(const std::string& path, std::string& error);
// The module of `file_type` named `guid`; null with `error` ("PATH: ...") when the volume has no usable one.
std::optional<fv::ModuleFile> FindVolumeModule(const LoadedVolume& volume, const EFI_GUID& guid, uint8_t file_type,
                                               std::string& error);

// Empty when the module's dependency expression holds on the platform (a module without one always runs);
// otherwise why the dispatcher leaves it alone, naming what is missing.
std::string DxeDispatchRefusal(const fv::ModuleFile& module, const ProtocolDatabase& protocols);
std::string PeiDispatchRefusal(const fv::ModuleFile& module, const PpiDatabase& ppis);

// The volume's bytes in read-only host memory, which the guest sees at `base` (flash).
class FlashVolume {
 public:
  static std::unique_ptr<FlashVolume> Create(std::span<const uint8_t> bytes, uint64_t base, std::string& error);
  ~FlashVolume();
  FlashVolume(const FlashVolume&) = delete;
  FlashVolume& operator=(const FlashVolume&) = delete;

  uint64_t base() const { return base_; }
  size_t size() const { return size_; }
  const uint8_t* host() const { return host_; }

 private:
  FlashVolume(uint8_t* host, size_t mapped, size_t size, uint64_t base)
      : host_(host), mapped_(mapped), size_(size), base_(base) {}
  uint8_t* host_;
  size_t mapped_;
  size_t size_;
  uint64_t base_;
};

// The PEI module of the volume on the platform, executing in place from `flash` (which must outlive the run):
// its image adopted where it lies (refused when it was not rebased for that address), the whole volume mapped
// read-only. A platform region overlapping the volume is refused too.
std::unique_ptr<PeimImageRun> CreateVolumePeim(TracePlatform& platform, const FlashVolume& flash,
                                               const fv::ModuleFile& module, std::string map_text, std::string& error);

}  // namespace sim
