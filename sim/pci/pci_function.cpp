// Configuration reads and writes of one simulated PCI function.
#include "sim/pci/pci_function.h"

#include <cstdio>

namespace sim {

PciFunction::PciFunction(PciFunctionSpec spec, const VirtualClock& clock)
    : spec_(std::move(spec)), image_(RenderConfigSpace(spec_)) {
  if (image_.vpd_capability && spec_.captured) {
    vpd_ = std::make_unique<VpdDevice>(spec_.captured->vpd, clock);
  } else if (image_.vpd_capability) {
    for (const auto& cap : spec_.capabilities) {
      if (cap.kind == PciCapabilitySpec::Kind::Vpd) vpd_ = std::make_unique<VpdDevice>(cap.vpd, clock);
    }
  }
}

std::string PciFunction::Describe() const {
  std::string out = ToString(spec_.location);
  if (!spec_.name.empty()) out += " (" + spec_.name + ")";
  return out;
}

bool PciFunction::InVpdRegisters(uint16_t offset) const {
  return vpd_ && offset >= *image_.vpd_capability + 2 && offset < *image_.vpd_capability + 8;
}

uint8_t PciFunction::ReadByte(uint16_t offset) const {
  if (InVpdRegisters(offset)) {
    unsigned at = offset - *image_.vpd_capability;
    if (at < 4) return static_cast<uint8_t>(vpd_->ReadAddress() >> (8 * (at - 2)));
    return static_cast<uint8_t>(vpd_->ReadData() >> (8 * (at - 4)));
  }
  return image_.bytes[offset];
}

uint32_t PciFunction::Read(uint16_t offset, unsigned width) const {
  if (all_ones_) return width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
  uint32_t value = 0;
  for (unsigned i = 0; i < width; ++i) value |= static_cast<uint32_t>(ReadByte(offset + i)) << (8 * i);
  return value;
}

void PciFunction::Write(uint16_t offset, unsigned width, uint32_t value, Violations& violations) {
  ++writes_;
  if (all_ones_) return;
  const uint16_t vpd_address = vpd_ ? static_cast<uint16_t>(*image_.vpd_capability + 2) : 0;
  bool vpd_address_written = false;
  bool read_only_hit = false;
  for (unsigned i = 0; i < width; ++i) {
    uint16_t at = static_cast<uint16_t>(offset + i);
    uint8_t byte = static_cast<uint8_t>(value >> (8 * i));
    if (InVpdRegisters(at)) {
      vpd_address_written |= at == vpd_address + 1;  // the byte holding the flag triggers the operation
      continue;
    }
    uint8_t mask = image_.writable[at];
    if ((byte & ~mask) != (image_.bytes[at] & ~mask)) read_only_hit = true;
    image_.bytes[at] = static_cast<uint8_t>((image_.bytes[at] & ~mask) | (byte & mask));
  }
  if (vpd_) {
    // The VPD registers take the written bytes over what they read now.
    uint16_t address = vpd_->ReadAddress();
    uint32_t data = vpd_->ReadData();
    bool data_written = false;
    for (unsigned i = 0; i < width; ++i) {
      uint16_t at = static_cast<uint16_t>(offset + i);
      uint8_t byte = static_cast<uint8_t>(value >> (8 * i));
      if (at == vpd_address || at == vpd_address + 1) {
        unsigned shift = 8 * (at - vpd_address);
        address = static_cast<uint16_t>((address & ~(0xFFu << shift)) | (byte << shift));
      } else if (at >= vpd_address + 2 && at < vpd_address + 6) {
        unsigned shift = 8 * (at - vpd_address - 2);
        data = (data & ~(0xFFu << shift)) | (static_cast<uint32_t>(byte) << shift);
        data_written = true;
      }
    }
    if (data_written) vpd_->WriteData(data);
    if (vpd_address_written) vpd_->WriteAddress(address, violations, Describe());
  }
  if (read_only_hit) {
    char buf[96];
    std::snprintf(buf, sizeof buf, ": configuration write of %u bytes at 0x%03X value 0x%X changes read-only bits",
                  width, offset, value);
    violations.Report(Describe() + buf + " (ignored, as hardware does)");
  }
}

std::array<uint8_t, kPciConfigSpaceSize> PciFunction::Snapshot() const {
  std::array<uint8_t, kPciConfigSpaceSize> out{};
  for (size_t i = 0; i < out.size(); ++i) out[i] = ReadByte(static_cast<uint16_t>(i));
  return out;
}

}  // namespace sim
