// The simulated PEI platform: bus, IDT with the PEI services pointer below it, PPI database, PCD PPI,
// configuration windows and the SiliconContext. A platform is a PlatformContext: constructing one attaches it
// (the host primitives reach its bus and IDT base), destroying it detaches it. Devices map themselves on bus().
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/common/mmio_bus.h"
#include "sim/common/platform_context.h"
#include "sim/common/violations.h"
#include "sim/pei/config_space_window.h"
#include "sim/pei/pcd_database.h"
#include "sim/pei/pei_platform_config.h"
#include "sim/pei/ppi_database.h"
#include "sim/pei/silicon_context_buffer.h"

namespace sim {

class StatusCodeHandler;

class PeiPlatform : public PlatformContext {
 public:
  explicit PeiPlatform(const PeiPlatformConfig& config = PeiPlatformConfig{});
  ~PeiPlatform() override;

  // The attached platform context when it is a PEI platform, else nullptr. PPI functions without a `This`
  // reach the platform through it.
  static PeiPlatform* Current();

  PpiDatabase& ppis() { return ppis_; }
  PcdDatabase& pcds() { return pcds_; }
  SiliconContextBuffer& silicon_context() { return context_; }
  ConfigSpaceWindow& config_window(size_t index = 0) { return *windows_.at(index); }
  const std::vector<uint8_t>& mcfg_table() const { return mcfg_table_; }
  // The configuration windows and the device ranges of the configuration: what the platform's own memory below
  // 4 GiB (the SiliconContext, a platform's record arena) stays clear of.
  const std::vector<ReservedRange>& reserved() const { return reserved_; }

  // idt_base() (PlatformContext) starts as the base of this platform's IDT; set_idt_base(0) takes the IDT away.
  const EFI_PEI_SERVICES** services_pointer() { return ppis_.services_pointer(); }

  // The report-status-code handler whose PPI this platform serves (StatusCodeHandler::Install sets it).
  StatusCodeHandler* status_code_handler() { return status_code_handler_; }
  void set_status_code_handler(StatusCodeHandler* handler) { status_code_handler_ = handler; }

  // Maps a device the platform keeps alive until it is destroyed.
  MmioRegion& AddDevice(uint64_t base, uint64_t size, std::unique_ptr<MmioRegion> device, std::string name);

  // The bus's recorder: every access (address, width, value, direction) while recording is on.
  void StartRecording() {
    bus().ClearRecorded();
    bus().SetRecording(true);
  }
  void StopRecording() { bus().SetRecording(false); }
  const std::vector<MmioAccess>& Recorded() const { return bus().Recorded(); }
  // The recorded writes only, in order.
  std::vector<MmioAccess> RecordedWrites() const;

 private:
  PpiDatabase ppis_{violations()};
  PcdDatabase pcds_{violations()};
  StatusCodeHandler* status_code_handler_ = nullptr;
  std::vector<ReservedRange> reserved_;
  SiliconContextBuffer context_;
  std::vector<std::unique_ptr<ConfigSpaceWindow>> windows_;
  std::vector<std::unique_ptr<MmioRegion>> devices_;
  std::vector<uint8_t> mcfg_table_;
  // The word below the IDT base, then a 256-gate IDT (16 bytes per gate covers both halves).
  alignas(16) uintptr_t idt_area_[1 + 256 * 16 / sizeof(uintptr_t)] = {};
};

}  // namespace sim
