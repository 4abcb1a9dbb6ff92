// The PCI side of a simulated DXE platform: the bus model, its configuration window mapped at the ECAM base on
// the platform's MMIO bus (segment 0), the functions' memory BARs mapped there too, and the PCI I/O instances
// installed in its protocol database.
#pragma once
#include <memory>
#include <vector>

#include "sim/board/pci_io_instances.h"
#include "sim/dxe/dxe_platform.h"
#include "sim/pci/ecam_window.h"
#include "sim/pci/memory_bar.h"
#include "sim/pci/pci_bus.h"

namespace sim {

class PciPlatform {
 public:
  // Throws PciTopologyError for an inconsistent description.
  PciPlatform(DxePlatform& platform, std::vector<PciFunctionSpec> specs, uint64_t ecam_base);
  ~PciPlatform();
  PciPlatform(const PciPlatform&) = delete;
  PciPlatform& operator=(const PciPlatform&) = delete;

  PciBus& Bus() { return bus_; }
  PciIoInstances& Instances() { return instances_; }
  uint64_t EcamBase() const { return ecam_base_; }

 private:
  DxePlatform& platform_;
  uint64_t ecam_base_;
  PciBus bus_;
  EcamWindow window_;
  PciIoInstances instances_;
  std::vector<std::unique_ptr<MemoryBarRegion>> bars_;  // the mapped ones
};

// Creates the PCI side and hands it to the platform to keep for its lifetime.
PciPlatform& AttachPci(DxePlatform& platform, std::vector<PciFunctionSpec> specs, uint64_t ecam_base);

}  // namespace sim
