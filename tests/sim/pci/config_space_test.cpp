// Rendering function descriptions into configuration space and decoding them back from bytes.
#include <gtest/gtest.h>

#include "sim/pci/config_space.h"
#include "sim/pci/pci_spec_builders.h"

namespace {

using sim::CapabilityWalk;
using sim::ConfigSpaceError;
using sim::PciCapabilitySpec;

PciCapabilitySpec Other(uint8_t id, size_t body, uint8_t offset = 0) {
  PciCapabilitySpec cap;
  cap.id = id;
  cap.body.assign(body, 0xAB);
  cap.offset = offset;
  return cap;
}

TEST(ConfigSpaceRender, EndpointHeaderDecodesToItsDescription) {
  auto spec = sim::EndpointSpec({0, 0x18, 0, 0}, 0x7A3B, 0x1593, 0x020000, 0x1E6D, 0x0A01);
  spec.revision = 0x02;
  auto image = sim::RenderConfigSpace(spec);
  auto h = sim::DecodeConfigHeader(image.bytes);
  EXPECT_EQ(h.vendor_id, 0x7A3B);
  EXPECT_EQ(h.device_id, 0x1593);
  EXPECT_EQ(h.class_code, 0x020000u);
  EXPECT_EQ(h.revision, 0x02);
  EXPECT_EQ(h.header_type, 0);
  EXPECT_EQ(h.subsystem_vendor_id, 0x1E6D);
  EXPECT_EQ(h.subsystem_id, 0x0A01);
  EXPECT_EQ(image.bytes[0x0B], 0x02) << "base class at 0x0B";
}

TEST(ConfigSpaceRender, BridgesCarryTheirBusNumbersAndCardBusUsesItsOwnLayout) {
  auto bridge = sim::RootPortSpec({0, 0x16, 2, 0}, 0x19, 0x1B, true);
  auto h = sim::DecodeConfigHeader(sim::RenderConfigSpace(bridge).bytes);
  EXPECT_EQ(h.header_type, 1);
  EXPECT_EQ(h.primary_bus, 0x16);
  EXPECT_EQ(h.secondary_bus, 0x19);
  EXPECT_EQ(h.subordinate_bus, 0x1B);

  auto cardbus = sim::EndpointSpec({0, 2, 0, 0}, 0x7A3B, 0x0001, 0x060700, 0x1234, 0x5678);
  cardbus.header_type = 2;
  cardbus.secondary_bus = 3;
  cardbus.subordinate_bus = 3;
  auto image = sim::RenderConfigSpace(cardbus);
  EXPECT_EQ(image.bytes[0x14], 0x48) << "CardBus capability pointer at 0x14, list after the 0x48-byte header";
  EXPECT_EQ(image.bytes[0x34], 0x00);
  auto c = sim::DecodeConfigHeader(image.bytes);
  EXPECT_EQ(c.subsystem_vendor_id, 0x1234);
  EXPECT_EQ(c.subsystem_id, 0x5678);
  auto walk = sim::WalkCapabilities(image.bytes);
  ASSERT_EQ(walk.entries.size(), 1u);
  EXPECT_EQ(walk.entries[0].id, sim::kPciCapabilityExpress);
}

TEST(ConfigSpaceRender, CapabilitiesChainInListOrderAndSetTheStatusBit) {
  auto spec = sim::EndpointSpec({0, 1, 0, 0}, 1, 2, 0);
  spec.capabilities.push_back(Other(0x05, 10));
  sim::WithVpd(spec, {0x78});
  auto image = sim::RenderConfigSpace(spec);
  EXPECT_NE(image.bytes[0x06] & 0x10, 0);
  auto walk = sim::WalkCapabilities(image.bytes);
  ASSERT_EQ(walk.entries.size(), 3u);
  EXPECT_EQ(walk.entries[0].offset, 0x40);
  EXPECT_EQ(walk.entries[0].id, 0x10);
  EXPECT_EQ(walk.entries[1].offset, 0x40 + sim::kPciExpressCapabilitySize);
  EXPECT_EQ(walk.entries[1].id, 0x05);
  EXPECT_EQ(walk.entries[2].id, 0x03);
  EXPECT_EQ(walk.entries[2].offset % 4, 0);
  EXPECT_EQ(walk.end, CapabilityWalk::End::Null);
  EXPECT_EQ(image.vpd_capability, walk.entries[2].offset);

  auto bare = sim::EndpointSpec({0, 1, 0, 0}, 1, 2, 0);
  bare.capabilities.clear();
  auto plain = sim::RenderConfigSpace(bare);
  EXPECT_EQ(plain.bytes[0x06] & 0x10, 0);
  EXPECT_EQ(sim::WalkCapabilities(plain.bytes).end, CapabilityWalk::End::NoList);
}

TEST(ConfigSpaceRender, LinkStatusShowsDataLinkLayerActiveOnlyWithTheLinkUp) {
  auto up = sim::RenderConfigSpace(sim::RootPortSpec({0, 0, 0, 0}, 1, 1, true));
  auto down = sim::RenderConfigSpace(sim::RootPortSpec({0, 0, 0, 0}, 1, 1, false));
  ASSERT_TRUE(up.express_capability.has_value());
  size_t at = *up.express_capability + 0x12;
  EXPECT_NE((up.bytes[at] | (up.bytes[at + 1] << 8)) & 0x2000, 0);
  EXPECT_EQ((down.bytes[at] | (down.bytes[at + 1] << 8)) & 0x2000, 0);
}

TEST(ConfigSpaceRender, InconsistentCapabilityPlacementNamesTheField) {
  auto past_end = sim::EndpointSpec({0, 1, 0, 0}, 1, 2, 0);
  past_end.capabilities.push_back(Other(0x09, 8, 0xFC));
  try {
    sim::RenderConfigSpace(past_end);
    FAIL() << "accepted a capability past 0xFF";
  } catch (const ConfigSpaceError& e) {
    EXPECT_EQ(e.Field(), "capabilities[1].offset");
    EXPECT_NE(std::string(e.what()).find("runs past the 256-byte"), std::string::npos) << e.what();
  }
  auto in_header = sim::EndpointSpec({0, 1, 0, 0}, 1, 2, 0);
  in_header.capabilities[0].offset = 0x20;
  EXPECT_THROW(sim::RenderConfigSpace(in_header), ConfigSpaceError);
  auto overlap = sim::EndpointSpec({0, 1, 0, 0}, 1, 2, 0);
  overlap.capabilities.push_back(Other(0x05, 4, 0x44));
  EXPECT_THROW(sim::RenderConfigSpace(overlap), ConfigSpaceError);
  auto misaligned = sim::EndpointSpec({0, 1, 0, 0}, 1, 2, 0);
  misaligned.capabilities.push_back(Other(0x05, 4, 0x81));
  EXPECT_THROW(sim::RenderConfigSpace(misaligned), ConfigSpaceError);
  auto two_vpd = sim::EndpointSpec({0, 1, 0, 0}, 1, 2, 0);
  sim::WithVpd(two_vpd, {});
  sim::WithVpd(two_vpd, {});
  EXPECT_THROW(sim::RenderConfigSpace(two_vpd), ConfigSpaceError);
  auto bad_type = sim::EndpointSpec({0, 1, 0, 0}, 1, 2, 0);
  bad_type.header_type = 3;
  EXPECT_THROW(sim::RenderConfigSpace(bad_type), ConfigSpaceError);
  auto far_poke = sim::EndpointSpec({0, 1, 0, 0}, 1, 2, 0);
  far_poke.pokes.push_back({0xFFF, {1, 2}});
  EXPECT_THROW(sim::RenderConfigSpace(far_poke), ConfigSpaceError);
}

TEST(ConfigSpaceDecode, WalkEndsAtLoopsHeaderPointersAndAbsentIds) {
  auto spec = sim::EndpointSpec({0, 1, 0, 0}, 1, 2, 0);
  spec.capabilities.push_back(Other(0x05, 2));
  spec.pokes.push_back({0x7D, {0x40}});  // the second capability (at 0x7C) points back at the first
  auto loop = sim::WalkCapabilities(sim::RenderConfigSpace(spec).bytes);
  EXPECT_EQ(loop.end, CapabilityWalk::End::Loop);
  EXPECT_EQ(loop.entries.size(), 2u);

  spec.pokes = {{0x7D, {0x20}}};
  EXPECT_EQ(sim::WalkCapabilities(sim::RenderConfigSpace(spec).bytes).end, CapabilityWalk::End::IntoHeader);
  spec.pokes = {{0x7C, {0xFF}}};
  EXPECT_EQ(sim::WalkCapabilities(sim::RenderConfigSpace(spec).bytes).end, CapabilityWalk::End::AbsentId);
  std::vector<uint8_t> short_space(64, 0);
  EXPECT_EQ(sim::WalkCapabilities(short_space).end, CapabilityWalk::End::OutOfSpace);
}

}  // namespace

namespace {

// A captured endpoint of `size` bytes with a VPD capability at 0x50 and a PCI Express capability at 0x60.
sim::PciFunctionSpec Captured(size_t size) {
  sim::PciFunctionSpec spec;
  spec.captured = sim::CapturedConfig{std::vector<uint8_t>(size, 0), {}};
  std::vector<uint8_t>& b = spec.captured->bytes;
  b[0] = 0x86, b[1] = 0x80, b[0x0E] = 0;
  if (size >= 256) {
    b[0x06] = 0x10, b[0x34] = 0x50;
    b[0x50] = sim::kPciCapabilityVpd, b[0x51] = 0x60;
    b[0x60] = sim::kPciCapabilityExpress;
    b[0xF0] = 0xEE;
  }
  return spec;
}

TEST(ConfigSpaceCaptured, TheBytesAreTheSpaceAndReadsPastThemReturnZero) {
  const auto full = sim::RenderConfigSpace(Captured(256));
  EXPECT_EQ(full.bytes[0xF0], 0xEE);
  EXPECT_EQ(full.bytes[0x06], 0x10);
  EXPECT_EQ(full.vpd_capability, 0x50);
  EXPECT_EQ(full.express_capability, 0x60);
  for (size_t i = 0x100; i < sim::kPciConfigSpaceSize; ++i) ASSERT_EQ(full.bytes[i], 0) << i;
  const auto header_only = sim::RenderConfigSpace(Captured(64));
  EXPECT_FALSE(header_only.vpd_capability.has_value());
  for (size_t i = 0x40; i < sim::kPciConfigSpaceSize; ++i) ASSERT_EQ(header_only.bytes[i], 0) << i;
  auto multi = Captured(64);
  multi.multi_function = true;
  EXPECT_EQ(sim::RenderConfigSpace(multi).bytes[0x0E], 0x80) << "the bus's multi-function bit is kept";
  auto too_many = Captured(4096);
  too_many.captured->bytes.push_back(0);
  EXPECT_THROW(sim::RenderConfigSpace(too_many), ConfigSpaceError);
}

TEST(ConfigSpaceCaptured, SoftwareWritableRegistersAreWritableAndIdentityIsNot) {
  const auto image = sim::RenderConfigSpace(Captured(256));
  EXPECT_EQ(image.writable[0x00], 0) << "vendor ID";
  EXPECT_EQ(image.writable[0x04], 0xFF) << "command";
  EXPECT_EQ(image.writable[0x3C], 0xFF) << "interrupt line";
  EXPECT_EQ(image.writable[0x52], 0xFF) << "VPD address";
  EXPECT_EQ(image.writable[0x57], 0xFF) << "VPD data";
  EXPECT_EQ(image.writable[0x58], 0) << "after the VPD capability";
  EXPECT_EQ(image.writable[0x70], 0xFF) << "link control";
  EXPECT_EQ(image.writable[0x72], 0) << "link status";
  auto bridge = Captured(64);
  bridge.captured->bytes[0x0E] = 1;
  EXPECT_EQ(sim::RenderConfigSpace(bridge).writable[0x19], 0xFF) << "secondary bus";
}

}  // namespace
