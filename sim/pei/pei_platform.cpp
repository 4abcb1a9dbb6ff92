// Assembles the simulated PEI platform from its configuration and attaches it.
#include "sim/pei/pei_platform.h"

#include "sim/pei/mcfg_table_image.h"

namespace sim {

namespace {
constexpr UINTN kPcdDefaultMmcfgBase = 44;
constexpr UINTN kPcdMcfgTable = 60;

std::vector<ReservedRange> PlatformRanges(const PeiPlatformConfig& config) {
  std::vector<ReservedRange> ranges;
  for (const ConfigWindowConfig& w : config.config_windows)
    ranges.push_back({w.base, static_cast<uint64_t>(w.bus_count) << 20, "PCI configuration window"});
  ranges.insert(ranges.end(), config.device_ranges.begin(), config.device_ranges.end());
  return ranges;
}

}  // namespace

PeiPlatform::PeiPlatform(const PeiPlatformConfig& config) : reserved_(PlatformRanges(config)), context_(reserved_) {
  for (const auto& w : config.config_windows) {
    auto window = std::make_unique<ConfigSpaceWindow>(w);
    bus().Map(window->base(), window->size(), window.get(), "PCI configuration window");
    windows_.push_back(std::move(window));
  }
  for (const auto& bytes : config.silicon_context) context_.Apply(bytes);

  mcfg_table_ = BuildMcfgTable(config.mcfg_table);
  pcds_.SetValue(kPcdDefaultMmcfgBase, config.default_mmcfg_base);
  pcds_.SetPointer(kPcdMcfgTable, config.mcfg_table.published ? mcfg_table_.data() : nullptr, mcfg_table_.size());
  if (config.install_pcd_ppi) ppis_.Install(gPcdPpiGuid, pcds_.ppi());

  // The PEI core's convention: the word below the IDT base points at the services table pointer.
  idt_area_[0] = reinterpret_cast<uintptr_t>(ppis_.services_pointer());
  set_idt_base(reinterpret_cast<uintptr_t>(&idt_area_[1]));
  Attach();
}

PeiPlatform* PeiPlatform::Current() { return dynamic_cast<PeiPlatform*>(&CurrentPlatform()); }

PeiPlatform::~PeiPlatform() { Detach(); }

MmioRegion& PeiPlatform::AddDevice(uint64_t base, uint64_t size, std::unique_ptr<MmioRegion> device, std::string name) {
  bus().Map(base, size, device.get(), std::move(name));
  devices_.push_back(std::move(device));
  return *devices_.back();
}

std::vector<MmioAccess> PeiPlatform::RecordedWrites() const {
  std::vector<MmioAccess> out;
  for (const auto& a : bus().Recorded()) {
    if (a.write) out.push_back(a);
  }
  return out;
}

}  // namespace sim
