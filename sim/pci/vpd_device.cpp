// The VPD capability's address/data handshake on the virtual clock.
#include "sim/pci/vpd_device.h"

#include <cstdio>

namespace sim {

bool VpdDevice::Complete() const {
  return pending_ && !behaviour_.never_completes && reads_started_ <= behaviour_.answered_reads &&
         clock_.NowMicroseconds() >= completes_at_us_;
}

uint32_t VpdDevice::DwordAt(uint16_t address) const {
  uint32_t value = 0;
  for (unsigned i = 0; i < 4; ++i) {
    size_t at = static_cast<size_t>(address) + i;
    uint8_t byte = at < behaviour_.image.size() ? behaviour_.image[at] : 0xFF;
    value |= static_cast<uint32_t>(byte) << (8 * i);
  }
  return value;
}

uint16_t VpdDevice::ReadAddress() const { return static_cast<uint16_t>(address_ | (Complete() ? 0x8000 : 0)); }

uint32_t VpdDevice::ReadData() const { return Complete() ? DwordAt(address_) : data_; }

void VpdDevice::WriteAddress(uint16_t value, Violations& violations, const std::string& where) {
  // A completed read's data stays readable until the next request.
  if (Complete()) data_ = DwordAt(address_);
  if ((value & 0x8000) != 0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "VPD write requested at VPD address 0x%04X", value & 0x7FFF);
    violations.Report(where + ": " + buf + " (this device's VPD is read-only)");
    pending_ = false;
    return;
  }
  address_ = static_cast<uint16_t>(value & 0x7FFC);
  pending_ = true;
  completes_at_us_ = clock_.NowMicroseconds() + behaviour_.delay_us;
  ++reads_started_;
}

}  // namespace sim
