// One EFI_PCI_IO_PROTOCOL instance per enumerated PCI function, installed on its own handle in enumeration
// order. Pci.Read (widths 8/16/32, any count) and GetLocation work; every other member reports a violation.
// Reads can be made to fail (FailReads): such a Pci.Read returns EFI_DEVICE_ERROR and leaves the buffer as it was.
#pragma once
#include <deque>
#include <map>
#include <vector>

#include "sim/common/violations.h"
#include "sim/dxe/call_counter.h"
#include "sim/dxe/protocol_database.h"
#include "sim/pci/pci_bus.h"
#include "uefi/protocols/pci_io.h"

namespace sim {

class PciIoInstances;

struct PciIoInstance {
  EFI_PCI_IO_PROTOCOL protocol;  // first member: the interface pointer is the instance's address
  PciFunction* function;
  PciIoInstances* owner;
  bool fail_every_read = false;
  std::vector<uint16_t> failing_offsets;  // a read covering one of these fails
};

class PciIoInstances {
 public:
  PciIoInstances(PciBus& bus, Violations& violations, CallCounter& calls);
  PciIoInstances(const PciIoInstances&) = delete;
  PciIoInstances& operator=(const PciIoInstances&) = delete;

  // Creates a handle per function ("PciIo 0000:18:00.0") and installs the instance on it.
  void Install(ProtocolDatabase& protocols);

  EFI_PCI_IO_PROTOCOL* InstanceAt(const PciLocation& location);

  // Makes Pci.Read on the instance at `location` fail: every read when `offsets` is empty, else each read whose
  // bytes cover one of the offsets. Failed reads are counted as "PciIo.Pci.Read failed". False when no instance
  // is at `location`.
  bool FailReads(const PciLocation& location, const std::vector<uint16_t>& offsets);
  EFI_HANDLE HandleAt(const PciLocation& location) const;
  size_t Count() const { return instances_.size(); }

  // Used by the member functions.
  Violations& ViolationSink() { return violations_; }
  CallCounter& Calls() { return calls_; }

 private:
  std::deque<PciIoInstance> instances_;  // stable addresses
  std::map<PciLocation, EFI_HANDLE> handles_;
  Violations& violations_;
  CallCounter& calls_;
};

}  // namespace sim
