// Plugging the PCI model into the simulated DXE platform.
#include "sim/board/pci_platform.h"

namespace sim {

PciPlatform::PciPlatform(DxePlatform& platform, std::vector<PciFunctionSpec> specs, uint64_t ecam_base)
    : platform_(platform),
      ecam_base_(ecam_base),
      bus_(std::move(specs), platform.Clock()),
      window_(bus_, 0, platform.Violations()),
      instances_(bus_, platform.Violations(), platform.Calls()) {
  platform.Bus().Map(ecam_base, kEcamWindowSize, &window_, "PCI configuration window");
  for (PciFunction* function : bus_.EnumerationOrder()) {
    const PciFunctionSpec& spec = function->Spec();
    if (!spec.memory_bar) continue;
    const MemoryBarSpec& bar = *spec.memory_bar;
    const std::string name = "memory BAR of " + (spec.name.empty() ? ToString(spec.location) : spec.name);
    // A BAR inside the configuration window cannot be mapped there; the run reports it and goes on without it.
    if (bar.address < ecam_base + kEcamWindowSize && ecam_base < bar.address + bar.size) {
      platform.Violations().Report(name + " overlaps the PCI configuration window; not mapped");
      continue;
    }
    bars_.push_back(std::make_unique<MemoryBarRegion>(bar));
    platform.Bus().Map(bar.address, bar.size, bars_.back().get(), name);
  }
  instances_.Install(platform.Protocols());
}

PciPlatform::~PciPlatform() {
  for (const auto& bar : bars_) platform_.Bus().Unmap(bar.get());
  platform_.Bus().Unmap(&window_);
}

PciPlatform& AttachPci(DxePlatform& platform, std::vector<PciFunctionSpec> specs, uint64_t ecam_base) {
  return platform.Keep(std::make_shared<PciPlatform>(platform, std::move(specs), ecam_base));
}

}  // namespace sim
