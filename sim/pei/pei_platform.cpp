// Assembles the simulated PEI platform from its configuration and activates it.
#include "sim/pei/pei_platform.h"

#include <cstdio>
#include <cstdlib>

#include "sim/pei/mcfg_table_image.h"

namespace sim {

namespace {
constexpr UINTN kPcdDefaultMmcfgBase = 44;
constexpr UINTN kPcdMcfgTable = 60;
}  // namespace

PeiPlatform::PeiPlatform(const PeiPlatformConfig& config) {
  if (ActiveMmioBus() != nullptr) {
    std::fprintf(stderr, "simulator: a PEI platform was created while another simulated bus is active\n");
    std::abort();
  }
  for (const auto& w : config.config_windows) {
    auto window = std::make_unique<ConfigSpaceWindow>(w);
    bus_.Map(window->base(), window->size(), window.get(), "PCI configuration window");
    windows_.push_back(std::move(window));
  }
  for (const auto& bytes : config.silicon_context) context_.Apply(bytes);

  mcfg_table_ = BuildMcfgTable(config.mcfg_table);
  pcds_.SetValue(kPcdDefaultMmcfgBase, config.default_mmcfg_base);
  pcds_.SetPointer(kPcdMcfgTable, config.mcfg_table.published ? mcfg_table_.data() : nullptr, mcfg_table_.size());
  if (config.install_pcd_ppi) ppis_.Install(gPcdPpiGuid, pcds_.ppi());

  // The PEI core's convention: the word below the IDT base points at the services table pointer.
  idt_area_[0] = reinterpret_cast<uintptr_t>(ppis_.services_pointer());
  SetActiveMmioBus(&bus_);
  SetHostIdtBase(idt_base());
  pcds_.Activate();
}

PeiPlatform::~PeiPlatform() {
  pcds_.Deactivate();
  if (ActiveMmioBus() == &bus_) SetActiveMmioBus(nullptr);
  if (HostIdtBase() == idt_base()) SetHostIdtBase(0);
}

MmioRegion& PeiPlatform::AddDevice(uint64_t base, uint64_t size, std::unique_ptr<MmioRegion> device,
                                   std::string name) {
  bus_.Map(base, size, device.get(), std::move(name));
  devices_.push_back(std::move(device));
  return *devices_.back();
}

std::vector<MmioAccess> PeiPlatform::RecordedWrites() const {
  std::vector<MmioAccess> out;
  for (const auto& a : bus_.Recorded()) {
    if (a.write) out.push_back(a);
  }
  return out;
}

}  // namespace sim
