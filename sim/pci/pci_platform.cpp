// Plugging the PCI model into the simulated DXE platform.
#include "sim/pci/pci_platform.h"

namespace sim {

PciPlatform::PciPlatform(DxePlatform& platform, std::vector<PciFunctionSpec> specs, uint64_t ecam_base)
    : platform_(platform),
      ecam_base_(ecam_base),
      bus_(std::move(specs), platform.Clock()),
      window_(bus_, 0, platform.Violations()),
      instances_(bus_, platform.Violations(), platform.Calls()) {
  platform.Bus().Map(ecam_base, kEcamWindowSize, &window_, "PCI configuration window");
  instances_.Install(platform.Protocols());
}

PciPlatform::~PciPlatform() { platform_.Bus().Unmap(&window_); }

PciPlatform& AttachPci(DxePlatform& platform, std::vector<PciFunctionSpec> specs, uint64_t ecam_base) {
  return platform.Keep(std::make_shared<PciPlatform>(platform, std::move(specs), ecam_base));
}

}  // namespace sim
