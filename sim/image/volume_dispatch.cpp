// Firmware volume dispatch: reading, dependency evaluation, the execute-in-place mapping.
#include "sim/image/volume_dispatch.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "firmware/fv/dependency_expression.h"
#include "sim/common/hex_text.h"
#include "sim/dxe/protocol_names.h"
#include "uefi/protocols/pcd_ppi.h"
#include "uefi/protocols/report_status_code_handler_ppi.h"

namespace sim {

namespace {

std::string PpiName(const EFI_GUID& guid) {
  if (GuidEqual(&guid, &gPcdPpiGuid)) return "PCD PPI";
  if (GuidEqual(&guid, &gEfiPeiRscHandlerPpiGuid)) return "report-status-code handler PPI";
  return "PPI";
}

std::string Refusal(const fv::ModuleFile& module, const char* phase, const fv::DepexOutcome& outcome,
                    const std::function<std::string(const EFI_GUID&)>& name) {
  if (outcome.satisfied) return {};
  std::string text = "file " + fv::GuidString(module.file->name) +
                     (module.name.empty() ? "" : " (" + module.name + ")") + " not dispatched: its " + phase +
                     " dependency expression [" + fv::DescribeDepex(module.depex) + "] does not hold";
  if (outcome.schedule_on_request) text += "; it is scheduled on request only";
  if (!outcome.missing.empty()) {
    text += "; missing:";
    for (size_t i = 0; i < outcome.missing.size(); ++i)
      text += (i ? ", " : " ") + name(outcome.missing[i]) + " " + fv::GuidString(outcome.missing[i]);
  }
  return text;
}

}  // namespace

std::unique_ptr<LoadedVolume> LoadVolumeFile(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot open the volume file";
    return nullptr;
  }
  auto v = std::make_unique<LoadedVolume>();
  v->path = path;
  v->bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  fv::VolumeReadResult read = fv::ReadVolume(v->bytes);
  if (!read.volume) {
    error = path + ": " + read.error;
    return nullptr;
  }
  v->volume = std::move(*read.volume);
  return v;
}

std::optional<fv::ModuleFile> FindVolumeModule(const LoadedVolume& volume, const EFI_GUID& guid, uint8_t file_type,
                                               std::string& error) {
  std::optional<fv::ModuleFile> m = fv::FindModule(volume.volume, guid, file_type, error);
  if (!m) error = volume.path + ": " + error;
  return m;
}

std::string DxeDispatchRefusal(const fv::ModuleFile& module, const ProtocolDatabase& protocols) {
  if (module.depex.empty()) return {};
  const fv::DepexOutcome outcome = fv::EvaluateDepex(module.depex, [&](const EFI_GUID& g) {
    void* interface = nullptr;
    return protocols.Locate(g, &interface) == EFI_SUCCESS;
  });
  return Refusal(module, "DXE", outcome, [](const EFI_GUID& g) { return ProtocolNameOf(g) + " protocol"; });
}

std::string PeiDispatchRefusal(const fv::ModuleFile& module, const PpiDatabase& ppis) {
  if (module.depex.empty()) return {};
  const fv::DepexOutcome outcome =
      fv::EvaluateDepex(module.depex, [&](const EFI_GUID& g) { return ppis.Installed(g); });
  return Refusal(module, "PEI", outcome, PpiName);
}

std::unique_ptr<FlashVolume> FlashVolume::Create(std::span<const uint8_t> bytes, uint64_t base, std::string& error) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  if (base % page != 0 || bytes.empty() || base + bytes.size() > 0x100000000ull) {
    error = "a volume of " + Hex(bytes.size()) + " bytes cannot be flash at " + Hex(base) +
            " (a page-aligned address below 4 GiB)";
    return nullptr;
  }
  const size_t mapped = (bytes.size() + page - 1) / page * page;
  void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) {
    error = "no memory for the volume's " + Hex(mapped) + " bytes";
    return nullptr;
  }
  std::memcpy(p, bytes.data(), bytes.size());
  std::memset(static_cast<uint8_t*>(p) + bytes.size(), 0xFF, mapped - bytes.size());
  mprotect(p, mapped, PROT_READ);  // flash: not even the host writes it
  return std::unique_ptr<FlashVolume>(new FlashVolume(static_cast<uint8_t*>(p), mapped, bytes.size(), base));
}

FlashVolume::~FlashVolume() { munmap(host_, mapped_); }

std::unique_ptr<PeimImageRun> CreateVolumePeim(TracePlatform& platform, const FlashVolume& flash,
                                               const fv::ModuleFile& module, std::string map_text, std::string& error) {
  const std::vector<ReservedRange> windows = BusRanges(platform.pei().bus());
  if (const ReservedRange* r = OverlappedRange(flash.base(), flash.size(), windows)) {
    error = "the volume at " + Hex(flash.base()) + " overlaps the platform's " + r->name + " at " + Hex(r->base);
    return nullptr;
  }
  const uint64_t guest = flash.base() + module.image_offset;
  PlaceResult placed = AdoptImageInPlace({flash.host() + module.image_offset, module.image.size()}, guest, windows);
  if (!placed.image) {
    error = "file " + fv::GuidString(module.file->name) + ": " + placed.error;
    return nullptr;
  }
  std::unique_ptr<PeimImageRun> run =
      PeimImageRun::CreatePlaced(platform, std::move(placed.image), std::move(map_text), error,
                                 {{flash.base(), flash.size(), "the firmware volume (flash)"}});
  if (!run) return nullptr;
  run->Machine().MapReadOnly(flash.base(), flash.host(), flash.size(), "the firmware volume (flash)");
  return run;
}

}  // namespace sim
