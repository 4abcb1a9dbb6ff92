// Rendering PCI configuration space from a function description, and decoding header and capabilities.
#include "sim/pci/config_space.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "sim/common/hex_text.h"

namespace sim {

namespace {

class Renderer {
 public:
  explicit Renderer(ConfigSpaceImage& image) : image_(image) {}
  void Put8(size_t offset, uint8_t value, uint8_t writable = 0) {
    image_.bytes[offset] = value;
    image_.writable[offset] = writable;
  }
  void Put16(size_t offset, uint16_t value, uint16_t writable = 0) {
    Put8(offset, static_cast<uint8_t>(value), static_cast<uint8_t>(writable));
    Put8(offset + 1, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(writable >> 8));
  }
  void Put32(size_t offset, uint32_t value, uint32_t writable = 0) {
    Put16(offset, static_cast<uint16_t>(value), static_cast<uint16_t>(writable));
    Put16(offset + 2, static_cast<uint16_t>(value >> 16), static_cast<uint16_t>(writable >> 16));
  }
  void Writable(size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) image_.writable[i] = 0xFF;
  }

 private:
  ConfigSpaceImage& image_;
};

size_t CapabilitySize(const PciCapabilitySpec& cap) {
  switch (cap.kind) {
    case PciCapabilitySpec::Kind::Express: return kPciExpressCapabilitySize;
    case PciCapabilitySpec::Kind::Vpd: return kPciVpdCapabilitySize;
    case PciCapabilitySpec::Kind::Other: return 2 + cap.body.size();
  }
  return 0;
}

uint8_t CapabilityId(const PciCapabilitySpec& cap) {
  switch (cap.kind) {
    case PciCapabilitySpec::Kind::Express: return kPciCapabilityExpress;
    case PciCapabilitySpec::Kind::Vpd: return kPciCapabilityVpd;
    case PciCapabilitySpec::Kind::Other: return cap.id;
  }
  return 0;
}

void RenderExpress(Renderer& r, size_t at, const PciCapabilitySpec& cap) {
  const bool downstream_port =
      cap.port_type == ExpressPortType::RootPort || cap.port_type == ExpressPortType::DownstreamSwitchPort;
  // Capability version 2; a downstream port is wired to a slot.
  uint16_t capabilities =
      static_cast<uint16_t>(2 | (static_cast<unsigned>(cap.port_type) << 4) | (downstream_port ? 1u << 8 : 0u));
  r.Put16(at + 0x02, capabilities);
  r.Put32(at + 0x04, 0x00000002);      // Device Capabilities: 512-byte max payload
  r.Put16(at + 0x08, 0x2810, 0xFFFF);  // Device Control
  uint32_t link_capabilities = (cap.link_speed & 0xFu) | ((cap.link_width & 0x3Fu) << 4) |
                               (downstream_port ? 1u << 20 : 0u);  // link-active reporting on ports
  r.Put32(at + 0x0C, link_capabilities);
  r.Put16(at + 0x10, 0x0000, 0xFFFF);  // Link Control
  uint16_t link_status =
      cap.link_active ? static_cast<uint16_t>((cap.link_speed & 0xF) | ((cap.link_width & 0x3F) << 4) | (1u << 13)) : 0;
  r.Put16(at + 0x12, link_status);
  r.Put16(at + 0x18, 0x0000, 0xFFFF);  // Slot Control
}

void RenderCapabilities(const PciFunctionSpec& spec, ConfigSpaceImage& image, Renderer& r) {
  const uint8_t type = spec.header_type & 0x7F;
  const size_t header_end = type == 2 ? 0x48 : 0x40;
  if (spec.capabilities.empty()) return;

  std::vector<std::pair<size_t, size_t>> placed;  // [from, to)
  size_t next_free = header_end;
  size_t previous_next_field = CapabilityPointerRegister(spec.header_type);
  for (size_t i = 0; i < spec.capabilities.size(); ++i) {
    const PciCapabilitySpec& cap = spec.capabilities[i];
    const std::string field = "capabilities[" + std::to_string(i) + "]";
    size_t at = cap.offset != 0 ? cap.offset : (next_free + 3) & ~size_t{3};
    size_t size = CapabilitySize(cap);
    if (cap.offset != 0 && (cap.offset & 3) != 0)
      throw ConfigSpaceError(field + ".offset", "capability offset " + Hex(cap.offset, 2) + " is not dword-aligned");
    if (at < header_end)
      throw ConfigSpaceError(
          field + ".offset",
          "capability at " + Hex(at, 2) + " lies inside the header (capabilities start at " + Hex(header_end, 2) + ")");
    if (at + size > kPciCompatibleSpaceSize)
      throw ConfigSpaceError(field + ".offset", "capability at " + Hex(at, 2) + " of " + std::to_string(size) +
                                                    " bytes runs past the 256-byte compatible configuration space");
    for (const auto& [from, to] : placed) {
      if (at < to && from < at + size)
        throw ConfigSpaceError(field + ".offset",
                               "capability at " + Hex(at, 2) + " overlaps the capability at " + Hex(from, 2));
    }
    if (cap.kind == PciCapabilitySpec::Kind::Vpd) {
      if (image.vpd_capability) throw ConfigSpaceError(field, "a function has at most one VPD capability");
      image.vpd_capability = static_cast<uint8_t>(at);
    }
    if (cap.kind == PciCapabilitySpec::Kind::Express && !image.express_capability)
      image.express_capability = static_cast<uint8_t>(at);
    placed.emplace_back(at, at + size);
    next_free = at + size;

    r.Put8(previous_next_field, static_cast<uint8_t>(at));
    r.Put8(at, CapabilityId(cap));
    r.Put8(at + 1, 0);
    previous_next_field = at + 1;
    switch (cap.kind) {
      case PciCapabilitySpec::Kind::Express: RenderExpress(r, at, cap); break;
      case PciCapabilitySpec::Kind::Vpd:
        r.Writable(at + 2, at + 8);  // address and data registers (the VPD device answers them)
        break;
      case PciCapabilitySpec::Kind::Other:
        for (size_t b = 0; b < cap.body.size(); ++b) r.Put8(at + 2 + b, cap.body[b]);
        break;
    }
  }
  image.bytes[0x06] |= 0x10;  // Status: Capabilities List
}

// A described function's space: header fields, capability chain.
ConfigSpaceImage RenderDescribed(const PciFunctionSpec& spec) {
  const uint8_t type = spec.header_type & 0x7F;
  if (type > 2)
    throw ConfigSpaceError("header_type", "header type " + std::to_string(type) +
                                              " is not 0 (ordinary), 1 (PCI-to-PCI bridge) or 2 (CardBus bridge)");
  ConfigSpaceImage image;
  Renderer r(image);
  r.Put16(0x00, spec.vendor_id);
  r.Put16(0x02, spec.device_id);
  r.Put16(0x04, 0x0006, 0x07FF);  // Command: memory space and bus master enabled
  r.Put16(0x06, 0x0000);          // Status: the capabilities bit is set with the list
  r.Put8(0x08, spec.revision);
  r.Put8(0x09, static_cast<uint8_t>(spec.class_code));
  r.Put8(0x0A, static_cast<uint8_t>(spec.class_code >> 8));
  r.Put8(0x0B, static_cast<uint8_t>(spec.class_code >> 16));
  r.Put8(0x0C, 0x10, 0xFF);  // cache line size
  r.Put8(0x0D, 0x00, 0xFF);  // latency timer
  r.Put8(0x0E, static_cast<uint8_t>(type | (spec.multi_function ? 0x80 : 0)));
  switch (type) {
    case 0:
      if (spec.memory_bar) {  // 64-bit memory BAR: type bits 2..1 = 10b
        r.Put32(0x10, static_cast<uint32_t>(spec.memory_bar->address) | 0x4);
        r.Put32(0x14, static_cast<uint32_t>(spec.memory_bar->address >> 32));
      }
      r.Put16(0x2C, spec.subsystem_vendor_id);
      r.Put16(0x2E, spec.subsystem_id);
      r.Put8(0x3C, 0xFF, 0xFF);  // interrupt line
      r.Put8(0x3D, 0x01);        // INTA#
      break;
    case 1:
      r.Put8(0x18, spec.location.bus, 0xFF);
      r.Put8(0x19, spec.secondary_bus, 0xFF);
      r.Put8(0x1A, spec.subordinate_bus, 0xFF);
      r.Writable(0x1B, 0x1E);  // secondary latency, I/O base and limit
      r.Writable(0x20, 0x34);  // memory and prefetchable windows
      r.Put8(0x3C, 0xFF, 0xFF);
      r.Writable(0x3E, 0x40);  // bridge control
      break;
    case 2:
      r.Put8(0x18, spec.location.bus, 0xFF);
      r.Put8(0x19, spec.secondary_bus, 0xFF);
      r.Put8(0x1A, spec.subordinate_bus, 0xFF);
      r.Put16(0x40, spec.subsystem_vendor_id);
      r.Put16(0x42, spec.subsystem_id);
      r.Writable(0x1B, 0x3C);  // latency, memory and I/O windows
      r.Writable(0x3E, 0x40);
      break;
  }
  RenderCapabilities(spec, image, r);
  return image;
}

// A captured space: the bytes as they are (zeros past them), the registers software writes marked writable
// as on a rendered function, and the VPD and PCI Express capabilities found by walking the captured list.
ConfigSpaceImage RenderCaptured(const PciFunctionSpec& spec) {
  const CapturedConfig& captured = *spec.captured;
  if (captured.bytes.size() > kPciConfigSpaceSize)
    throw ConfigSpaceError("config", std::to_string(captured.bytes.size()) +
                                         " captured bytes do not fit the 4096-byte configuration space");
  ConfigSpaceImage image;
  std::copy(captured.bytes.begin(), captured.bytes.end(), image.bytes.begin());
  if (spec.multi_function) image.bytes[0x0E] |= 0x80;
  auto writable = [&](size_t from, size_t to, uint8_t mask = 0xFF) {
    for (size_t i = from; i < to; ++i) image.writable[i] = mask;
  };
  image.writable[0x04] = 0xFF;  // Command
  image.writable[0x05] = 0x07;
  writable(0x0C, 0x0E);  // cache line size, latency timer
  switch (image.bytes[0x0E] & 0x7F) {
    case 0: writable(0x3C, 0x3D); break;
    case 1:
      writable(0x18, 0x1E);  // bus numbers, secondary latency, I/O base and limit
      writable(0x20, 0x34);  // memory and prefetchable windows
      writable(0x3C, 0x3D);
      writable(0x3E, 0x40);  // bridge control
      break;
    case 2:
      writable(0x18, 0x3C);
      writable(0x3E, 0x40);
      break;
    default: break;
  }
  for (const CapabilityWalk::Entry& e : WalkCapabilities(image.bytes).entries) {
    if (e.id == kPciCapabilityVpd && !image.vpd_capability) {
      image.vpd_capability = e.offset;
      writable(e.offset + 2u, e.offset + 8u);
    } else if (e.id == kPciCapabilityExpress && !image.express_capability) {
      image.express_capability = e.offset;
      writable(e.offset + 0x08u, e.offset + 0x0Au);  // Device Control
      writable(e.offset + 0x10u, e.offset + 0x12u);  // Link Control
      writable(e.offset + 0x18u, e.offset + 0x1Au);  // Slot Control
    }
  }
  return image;
}

}  // namespace

uint8_t CapabilityPointerRegister(uint8_t header_type) { return (header_type & 0x7F) == 2 ? 0x14 : 0x34; }

ConfigSpaceImage RenderConfigSpace(const PciFunctionSpec& spec) {
  ConfigSpaceImage image;
  if (spec.captured) {
    image = RenderCaptured(spec);
  } else {
    image = RenderDescribed(spec);
  }
  for (size_t i = 0; i < spec.pokes.size(); ++i) {
    const ConfigPoke& poke = spec.pokes[i];
    if (poke.offset + poke.bytes.size() > kPciConfigSpaceSize)
      throw ConfigSpaceError("pokes[" + std::to_string(i) + "]",
                             "bytes at " + Hex(poke.offset, 3) + " run past the 4096-byte configuration space");
    for (size_t b = 0; b < poke.bytes.size(); ++b) image.bytes[poke.offset + b] = poke.bytes[b];
  }
  return image;
}

DecodedConfigHeader DecodeConfigHeader(std::span<const uint8_t> s) {
  DecodedConfigHeader h;
  if (s.size() < 0x40) return h;
  auto u16 = [&](size_t o) { return static_cast<uint16_t>(s[o] | (s[o + 1] << 8)); };
  h.vendor_id = u16(0x00);
  h.device_id = u16(0x02);
  h.command = u16(0x04);
  h.status = u16(0x06);
  h.revision = s[0x08];
  h.class_code = static_cast<uint32_t>(s[0x09] | (s[0x0A] << 8) | (s[0x0B] << 16));
  h.header_type = s[0x0E] & 0x7F;
  h.multi_function = (s[0x0E] & 0x80) != 0;
  h.capability_pointer = s[CapabilityPointerRegister(h.header_type)];
  if (h.header_type == 0) {
    h.subsystem_vendor_id = u16(0x2C);
    h.subsystem_id = u16(0x2E);
  } else {
    h.primary_bus = s[0x18];
    h.secondary_bus = s[0x19];
    h.subordinate_bus = s[0x1A];
    if (h.header_type == 2 && s.size() >= 0x44) {
      h.subsystem_vendor_id = u16(0x40);
      h.subsystem_id = u16(0x42);
    }
  }
  return h;
}

CapabilityWalk WalkCapabilities(std::span<const uint8_t> s) {
  CapabilityWalk walk;
  if (s.size() < kPciCompatibleSpaceSize) {
    walk.end = CapabilityWalk::End::OutOfSpace;
    return walk;
  }
  if ((s[0x06] & 0x10) == 0) return walk;  // NoList
  uint8_t p = s[CapabilityPointerRegister(s[0x0E])];
  std::set<uint8_t> seen;
  for (;;) {
    p &= 0xFC;
    if (p == 0) {
      walk.end = CapabilityWalk::End::Null;
      return walk;
    }
    if (p < 0x40) {
      walk.end = CapabilityWalk::End::IntoHeader;
      return walk;
    }
    if (!seen.insert(p).second) {
      walk.end = CapabilityWalk::End::Loop;
      return walk;
    }
    if (s[p] == 0xFF) {
      walk.end = CapabilityWalk::End::AbsentId;
      return walk;
    }
    walk.entries.push_back({p, s[p]});
    p = s[p + 1];
  }
}

const char* ToString(CapabilityWalk::End end) {
  switch (end) {
    case CapabilityWalk::End::NoList: return "no capability list";
    case CapabilityWalk::End::Null: return "null pointer";
    case CapabilityWalk::End::IntoHeader: return "pointer into the header";
    case CapabilityWalk::End::AbsentId: return "capability ID 0xFF";
    case CapabilityWalk::End::Loop: return "the list loops";
    case CapabilityWalk::End::OutOfSpace: return "configuration space shorter than 256 bytes";
  }
  return "?";
}

}  // namespace sim
