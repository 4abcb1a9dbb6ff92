// The VPD capability's handshake as a device: writing the address register with the flag clear starts a read of
// that dword; the flag and the data appear once the configured delay has passed on the virtual clock.
#pragma once
#include <cstdint>

#include "sim/common/violations.h"
#include "sim/common/virtual_clock.h"
#include "sim/pci/pci_function_spec.h"

namespace sim {

class VpdDevice {
 public:
  VpdDevice(VpdBehaviour behaviour, const VirtualClock& clock) : behaviour_(std::move(behaviour)), clock_(clock) {}

  // The address register (bits 0-14 address, bit 15 flag) and the data register.
  uint16_t ReadAddress() const;
  uint32_t ReadData() const;
  // A write with the flag clear requests a read of the dword at the address (low two bits ignored). A write
  // with the flag set requests a VPD write, which this read-only VPD refuses with a violation.
  void WriteAddress(uint16_t value, Violations& violations, const std::string& where);
  // Writes to the data register land in a latch that is never stored (the VPD is read-only here).
  void WriteData(uint32_t value) { data_ = value; }

  uint64_t ReadsStarted() const { return reads_started_; }
  const VpdBehaviour& Behaviour() const { return behaviour_; }

 private:
  bool Complete() const;
  uint32_t DwordAt(uint16_t address) const;

  VpdBehaviour behaviour_;
  const VirtualClock& clock_;
  uint16_t address_ = 0;
  bool pending_ = false;
  uint64_t completes_at_us_ = 0;
  uint32_t data_ = 0;  // last completed read (stale until the next read completes)
  uint64_t reads_started_ = 0;
};

}  // namespace sim
