// Shorthands for common function descriptions.
#include "sim/pci/pci_spec_builders.h"

namespace sim {

namespace {

PciCapabilitySpec Express(ExpressPortType type, bool link_active) {
  PciCapabilitySpec cap;
  cap.kind = PciCapabilitySpec::Kind::Express;
  cap.port_type = type;
  cap.link_active = link_active;
  return cap;
}

PciFunctionSpec Bridge(PciLocation at, uint8_t secondary, uint8_t subordinate, ExpressPortType type, bool link) {
  PciFunctionSpec s;
  s.location = at;
  s.vendor_id = 0x7A3B;
  s.device_id = 0x2030;
  s.class_code = 0x060400;
  s.header_type = 1;
  s.secondary_bus = secondary;
  s.subordinate_bus = subordinate;
  s.capabilities.push_back(Express(type, link));
  return s;
}

}  // namespace

PciFunctionSpec RootPortSpec(PciLocation at, uint8_t secondary, uint8_t subordinate, bool link_active) {
  return Bridge(at, secondary, subordinate, ExpressPortType::RootPort, link_active);
}

PciFunctionSpec BridgeSpec(PciLocation at, uint8_t secondary, uint8_t subordinate) {
  return Bridge(at, secondary, subordinate, ExpressPortType::DownstreamSwitchPort, true);
}

PciFunctionSpec EndpointSpec(PciLocation at, uint16_t vendor, uint16_t device, uint32_t class_code,
                             uint16_t subsystem_vendor, uint16_t subsystem) {
  PciFunctionSpec s;
  s.location = at;
  s.vendor_id = vendor;
  s.device_id = device;
  s.class_code = class_code;
  s.subsystem_vendor_id = subsystem_vendor;
  s.subsystem_id = subsystem;
  s.capabilities.push_back(Express(ExpressPortType::Endpoint, true));
  return s;
}

PciFunctionSpec& WithVpd(PciFunctionSpec& spec, std::vector<uint8_t> image, uint64_t delay_us, bool never_completes) {
  PciCapabilitySpec cap;
  cap.kind = PciCapabilitySpec::Kind::Vpd;
  cap.vpd.image = std::move(image);
  cap.vpd.delay_us = delay_us;
  cap.vpd.never_completes = never_completes;
  spec.capabilities.push_back(std::move(cap));
  return spec;
}

}  // namespace sim
