// Size checks of the whole-file captures and the function description of captured configuration bytes.
#include "sim/board/captures/binary_captures.h"

#include "sim/board/captures/capture_error.h"
#include "sim/pci/config_space.h"

namespace sim {

PciFunctionSpec CapturedFunction(const PciLocation& at, std::span<const uint8_t> config, std::string origin) {
  const size_t n = config.size();
  if (n != 64 && n != 256 && n != kPciConfigSpaceSize) {
    throw CaptureError(n, std::to_string(n) + " bytes of configuration space",
                       "a configuration capture holds 64, 256 or 4096 bytes: copy the whole sysfs `config` file");
  }
  PciFunctionSpec spec;
  spec.location = at;
  spec.origin = std::move(origin);
  const DecodedConfigHeader h = DecodeConfigHeader(config);
  spec.vendor_id = h.vendor_id;
  spec.device_id = h.device_id;
  spec.revision = h.revision;
  spec.class_code = h.class_code;
  spec.header_type = h.header_type;
  spec.subsystem_vendor_id = h.subsystem_vendor_id;
  spec.subsystem_id = h.subsystem_id;
  if (spec.IsBridge()) {
    spec.secondary_bus = h.secondary_bus;
    spec.subordinate_bus = h.subordinate_bus;
  }
  spec.captured = CapturedConfig{std::vector<uint8_t>(config.begin(), config.end()), {}};
  return spec;
}

void CheckVpdCapture(std::span<const uint8_t> vpd) {
  if (vpd.size() > kMaxVpdCaptureBytes) {
    throw CaptureError(kMaxVpdCaptureBytes, std::to_string(vpd.size()) + " bytes of VPD",
                       "VPD addresses reach 32768 bytes: give the sysfs `vpd` file as read, at most 32768 bytes");
  }
}

void CheckFruImage(std::span<const uint8_t> image) {
  if (image.size() < kMinFruImageBytes || image.size() > kMaxFruImageBytes) {
    throw CaptureError(image.size(), "a FRU image of " + std::to_string(image.size()) + " bytes",
                       "give the whole FRU area as `ipmitool fru read` writes it: 128 to 65536 bytes (the BMC "
                       "serves the first 128)");
  }
}

}  // namespace sim
