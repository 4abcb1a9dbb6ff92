// One simulated PCI function: its rendered configuration space, the writable-bit mask, and the VPD device
// behind its VPD capability. Reads and writes of 1, 2 or 4 bytes; both access paths (window, PCI I/O) use it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "sim/common/violations.h"
#include "sim/common/virtual_clock.h"
#include "sim/pci/config_space.h"
#include "sim/pci/pci_function_spec.h"
#include "sim/pci/vpd_device.h"

namespace sim {

class PciFunction {
 public:
  // Throws ConfigSpaceError for an inconsistent description.
  PciFunction(PciFunctionSpec spec, const VirtualClock& clock);

  const PciFunctionSpec& Spec() const { return spec_; }
  const PciLocation& Location() const { return spec_.location; }
  std::string Describe() const;  // "0000:18:00.0 (name)"

  // offset + width must lie inside the 4 KiB space (the callers check). Once the function reads all ones
  // (StartReadingAllOnes), reads answer all ones and writes are dropped.
  uint32_t Read(uint16_t offset, unsigned width) const;
  // Applies the writable bits of the value; a write that would change read-only bits is reported as a
  // violation and those bits keep their value, as hardware ignores them.
  void Write(uint16_t offset, unsigned width, uint32_t value, Violations& violations);

  // The current bytes (VPD registers as they read now), for listings and decoding.
  std::array<uint8_t, kPciConfigSpaceSize> Snapshot() const;
  const VpdDevice* Vpd() const { return vpd_.get(); }
  uint64_t WriteCount() const { return writes_; }
  // The device goes away (the bus calls this after enumeration for a spec with reads_all_ones).
  void StartReadingAllOnes() { all_ones_ = true; }

 private:
  uint8_t ReadByte(uint16_t offset) const;
  bool InVpdRegisters(uint16_t offset) const;

  PciFunctionSpec spec_;
  ConfigSpaceImage image_;
  std::unique_ptr<VpdDevice> vpd_;
  uint64_t writes_ = 0;
  bool all_ones_ = false;
};

}  // namespace sim
