// The trace-hub side of the simulated PEI platform: the power-management controller (configuration space
// at 0:31.2 in the configuration window, its power-management MMIO region with the trace-hub disable bit)
// and the trace hub's software-trace window, which records channel writes per master and channel.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "sim/common/mmio_bus.h"
#include "sim/common/violations.h"
#include "sim/pei/pei_platform_config.h"
#include "sim/pei/syst_decoder.h"

namespace sim {

struct PmcConfig {
  bool present = true;  // false: 0:31.2 reads all ones (vendor ID 0xFFFF)
  uint16_t vendor_id = 0x7A3B;
  uint32_t config_dword_48 = 0xFE000004;  // the power-management base is its upper 16 bits
  bool trace_hub_disabled = false;        // bit 0 of the byte at power-management base + 0x5D0
};

struct TraceHubConfig {
  bool decoded = true;       // false: the whole window reads all ones (the probe word too)
  uint32_t probe_value = 0;  // the word at 0xFE200000 when decoded
};

constexpr uint8_t kPmcBus = 0, kPmcDevice = 31, kPmcFunction = 2;
constexpr uint64_t kPowerMgmtRegionSize = 0x10000;
constexpr uint64_t kTraceHubWindowBase = 0xFE200000;
constexpr uint64_t kTraceHubWindowSize = 0x200000;  // masters 32 to 255, and channels past the last one

// The configuration-space presets of a present PMC (vendor ID, dword 0x48) for PeiPlatformConfig.
PciFunctionConfig PmcFunctionConfig(const PmcConfig& config);

// The PMC's power-management MMIO region: zero-filled bytes, the disable bit at +0x5D0, reads counted.
class PowerMgmtRegion : public MmioRegion {
 public:
  explicit PowerMgmtRegion(bool trace_hub_disabled);
  uint64_t Read(uint64_t offset, unsigned width) override;
  void Write(uint64_t offset, unsigned width, uint64_t value) override;

  void SetTraceHubDisabled(bool disabled);
  uint64_t Reads() const { return reads_; }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t reads_ = 0;
};

// One write the window received.
struct TraceHubWrite {
  unsigned master;
  unsigned channel;
  uint64_t address;
  SystChannelWrite write;  // register role (by offset in the channel), width, value
};

// The software-trace window at 0xFE200000: channel c of master m at 0xFE200000 + (m - 32) * 8192 + c * 64.
// Reads of the channel registers give 0 (the probe word: the configured value); an undecoded window reads
// all ones and reports every write as a violation (nothing may be written to it).
class TraceHubWindow : public MmioRegion {
 public:
  TraceHubWindow(const TraceHubConfig& config, Violations& violations);
  uint64_t Read(uint64_t offset, unsigned width) override;
  void Write(uint64_t offset, unsigned width, uint64_t value) override;

  void SetDecoded(bool decoded) { config_.decoded = decoded; }
  const std::vector<TraceHubWrite>& Writes() const { return writes_; }
  // The writes of one channel, in order (for DecodeSystMessages).
  std::vector<SystChannelWrite> ChannelWrites(unsigned master, unsigned channel) const;
  uint64_t ProbeReads() const { return probe_reads_; }
  // Called after every write the window takes (fault injection hooks in here).
  void OnWrite(std::function<void()> hook) { on_write_ = std::move(hook); }
  void ClearWrites() { writes_.clear(); }

 private:
  TraceHubConfig config_;
  Violations& violations_;
  std::vector<TraceHubWrite> writes_;
  uint64_t probe_reads_ = 0;
  std::function<void()> on_write_;
};

}  // namespace sim
