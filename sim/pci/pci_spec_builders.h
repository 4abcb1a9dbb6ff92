// Shorthands for common function descriptions (root ports, bridges, endpoints), for tests and built-in boards.
#pragma once
#include "sim/pci/pci_function_spec.h"

namespace sim {

// A PCI Express root port (header type 1) leading to secondary..subordinate, with its link up or down.
PciFunctionSpec RootPortSpec(PciLocation at, uint8_t secondary, uint8_t subordinate, bool link_active);
// A PCI-to-PCI bridge (switch port) without a link-state of interest.
PciFunctionSpec BridgeSpec(PciLocation at, uint8_t secondary, uint8_t subordinate);
// A type-0 PCI Express endpoint.
PciFunctionSpec EndpointSpec(PciLocation at, uint16_t vendor, uint16_t device, uint32_t class_code,
                             uint16_t subsystem_vendor = 0, uint16_t subsystem = 0);
// Adds a VPD capability with the given image and behaviour.
PciFunctionSpec& WithVpd(PciFunctionSpec& spec, std::vector<uint8_t> image, uint64_t delay_us = 20,
                         bool never_completes = false);

}  // namespace sim
