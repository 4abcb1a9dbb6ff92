// Power-management region and software-trace window of the simulated PEI platform.
#include "sim/pei/trace_hub_devices.h"

#include <cstdio>

namespace sim {

namespace {
constexpr uint64_t kDisableByte = 0x5D0;
constexpr uint64_t kMasterSize = 8192, kChannelSize = 64;
constexpr unsigned kFirstMaster = 32;
}  // namespace

PciFunctionConfig PmcFunctionConfig(const PmcConfig& config) {
  return {kPmcBus, kPmcDevice, kPmcFunction, {{0x00, 2, config.vendor_id}, {0x48, 4, config.config_dword_48}}};
}

PowerMgmtRegion::PowerMgmtRegion(bool trace_hub_disabled) : bytes_(kPowerMgmtRegionSize, 0) {
  SetTraceHubDisabled(trace_hub_disabled);
}

void PowerMgmtRegion::SetTraceHubDisabled(bool disabled) {
  bytes_[kDisableByte] = static_cast<uint8_t>((bytes_[kDisableByte] & ~1u) | (disabled ? 1u : 0u));
}

uint64_t PowerMgmtRegion::Read(uint64_t offset, unsigned width) {
  ++reads_;
  uint64_t value = 0;
  for (unsigned i = 0; i < width && offset + i < bytes_.size(); ++i) {
    value |= static_cast<uint64_t>(bytes_[offset + i]) << (8 * i);
  }
  return value;
}

void PowerMgmtRegion::Write(uint64_t offset, unsigned width, uint64_t value) {
  for (unsigned i = 0; i < width && offset + i < bytes_.size(); ++i) {
    bytes_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
  }
}

TraceHubWindow::TraceHubWindow(const TraceHubConfig& config, Violations& violations)
    : config_(config), violations_(violations) {}

uint64_t TraceHubWindow::Read(uint64_t offset, unsigned width) {
  if (offset == 0) ++probe_reads_;
  if (!config_.decoded) return width == 8 ? ~0ull : (1ull << (8 * width)) - 1;
  return offset == 0 && width == 4 ? config_.probe_value : 0;
}

void TraceHubWindow::Write(uint64_t offset, unsigned width, uint64_t value) {
  uint64_t address = kTraceHubWindowBase + offset;
  if (!config_.decoded) {
    char text[96];
    std::snprintf(text, sizeof text, "trace hub: %u-byte write of 0x%llX at 0x%llX while the window is not decoded",
                  width, static_cast<unsigned long long>(value), static_cast<unsigned long long>(address));
    violations_.Report(text);
  }
  unsigned master = kFirstMaster + static_cast<unsigned>(offset / kMasterSize);
  unsigned channel = static_cast<unsigned>((offset % kMasterSize) / kChannelSize);
  writes_.push_back({master, channel, address, {ChannelRole(offset % kChannelSize), width, value}});
  if (on_write_) on_write_();
}

std::vector<SystChannelWrite> TraceHubWindow::ChannelWrites(unsigned master, unsigned channel) const {
  std::vector<SystChannelWrite> out;
  for (const auto& w : writes_) {
    if (w.master == master && w.channel == channel) out.push_back(w.write);
  }
  return out;
}

}  // namespace sim
