// The simulated PEI platform: bus, IDT with the PEI services pointer below it, PPI database, PCD PPI,
// configuration windows and the SiliconContext. Constructing one makes it the active platform of the
// host primitives; destroying it deactivates it. Devices of later features map themselves on bus().
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/common/mmio_bus.h"
#include "sim/common/violations.h"
#include "sim/pei/config_space_window.h"
#include "sim/pei/pcd_database.h"
#include "sim/pei/pei_platform_config.h"
#include "sim/pei/ppi_database.h"
#include "sim/pei/silicon_context_buffer.h"

namespace sim {

class PeiPlatform {
 public:
  explicit PeiPlatform(const PeiPlatformConfig& config = PeiPlatformConfig{});
  ~PeiPlatform();
  PeiPlatform(const PeiPlatform&) = delete;
  PeiPlatform& operator=(const PeiPlatform&) = delete;

  Violations& violations() { return violations_; }
  MmioBus& bus() { return bus_; }
  PpiDatabase& ppis() { return ppis_; }
  PcdDatabase& pcds() { return pcds_; }
  SiliconContextBuffer& silicon_context() { return context_; }
  ConfigSpaceWindow& config_window(size_t index = 0) { return *windows_.at(index); }
  const std::vector<uint8_t>& mcfg_table() const { return mcfg_table_; }

  uintptr_t idt_base() const { return reinterpret_cast<uintptr_t>(&idt_area_[1]); }
  const EFI_PEI_SERVICES** services_pointer() { return ppis_.services_pointer(); }

  // Maps a device the platform keeps alive until it is destroyed.
  MmioRegion& AddDevice(uint64_t base, uint64_t size, std::unique_ptr<MmioRegion> device, std::string name);

  // The bus's recorder: every access (address, width, value, direction) while recording is on.
  void StartRecording() {
    bus_.ClearRecorded();
    bus_.SetRecording(true);
  }
  void StopRecording() { bus_.SetRecording(false); }
  const std::vector<MmioAccess>& Recorded() const { return bus_.Recorded(); }
  // The recorded writes only, in order.
  std::vector<MmioAccess> RecordedWrites() const;

 private:
  Violations violations_;
  MmioBus bus_{violations_};
  PpiDatabase ppis_{violations_};
  PcdDatabase pcds_{violations_};
  SiliconContextBuffer context_;
  std::vector<std::unique_ptr<ConfigSpaceWindow>> windows_;
  std::vector<std::unique_ptr<MmioRegion>> devices_;
  std::vector<uint8_t> mcfg_table_;
  // The word below the IDT base, then a 256-gate IDT (16 bytes per gate covers both halves).
  alignas(16) uintptr_t idt_area_[1 + 256 * 16 / sizeof(uintptr_t)] = {};
};

}  // namespace sim
