// The PCI bus model: topology checks, enumeration order, the configuration window and PCI I/O instances.
#include <gtest/gtest.h>

#include "hw/mmio.h"
#include "sim/board/pci_platform.h"
#include "sim/pci/pci_spec_builders.h"
#include "tests/support/platform_checks.h"

namespace {

using sim::PciLocation;
using sim::PciTopologyError;

constexpr uint64_t kEcam = 0x80000000;

uint64_t Config(uint8_t bus, uint8_t dev, uint8_t fn, uint16_t reg) {
  return kEcam + (uint64_t{bus} << 20) + (uint64_t{dev} << 15) + (uint64_t{fn} << 12) + reg;
}

std::vector<sim::PciFunctionSpec> SmallTopology() {
  return {
      sim::RootPortSpec({0, 0x30, 2, 0}, 0x32, 0x34, true),
      sim::EndpointSpec({0, 0x30, 4, 0}, 0x7A3B, 0x0004, 0x088000),
      sim::RootPortSpec({0, 0x30, 0, 0}, 0x31, 0x31, false),
      sim::BridgeSpec({0, 0x32, 0, 0}, 0x33, 0x34),
      sim::BridgeSpec({0, 0x33, 0, 0}, 0x34, 0x34),
      sim::EndpointSpec({0, 0x34, 0, 0}, 0x1000, 0x0097, 0x010700),
      sim::EndpointSpec({0, 0x16, 0, 1}, 0x7A3B, 0x1593, 0x020000),
      sim::EndpointSpec({0, 0x16, 0, 0}, 0x7A3B, 0x1593, 0x020000),
  };
}

TEST(PciBusTopology, EnumerationIsDepthFirstFromTheRootBuses) {
  sim::VirtualClock clock;
  sim::PciBus bus(SmallTopology(), clock);
  std::vector<std::string> order;
  for (auto* f : bus.EnumerationOrder()) order.push_back(sim::ToString(f->Location()));
  EXPECT_EQ(order, (std::vector<std::string>{"0000:16:00.0", "0000:16:00.1", "0000:30:00.0", "0000:30:02.0",
                                             "0000:32:00.0", "0000:33:00.0", "0000:34:00.0", "0000:30:04.0"}));
  EXPECT_EQ(bus.Find({0, 0x16, 0, 0})->Read(0x0E, 1), 0x80u) << "function 0 of a multi-function device";
  EXPECT_EQ(bus.Find({0, 0x30, 4, 0})->Read(0x0E, 1), 0x00u);
}

void ExpectTopologyError(std::vector<sim::PciFunctionSpec> specs, size_t index, const std::string& field,
                         const std::string& text) {
  sim::VirtualClock clock;
  try {
    sim::PciBus bus(std::move(specs), clock);
    ADD_FAILURE() << "accepted; expected: " << text;
  } catch (const PciTopologyError& e) {
    EXPECT_EQ(e.Index(), index) << e.what();
    EXPECT_EQ(e.Field(), field) << e.what();
    EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
  }
}

TEST(PciBusTopology, InconsistentDescriptionsAreRefused) {
  auto twice = SmallTopology();
  twice.push_back(sim::EndpointSpec({0, 0x34, 0, 0}, 1, 2, 0));
  ExpectTopologyError(twice, 8, "location", "a second function at 0000:34:00.0");

  ExpectTopologyError({sim::EndpointSpec({0, 5, 1, 3}, 1, 2, 0)}, 0, "location", "has no function 0");

  ExpectTopologyError({sim::RootPortSpec({0, 0x30, 0, 0}, 0x30, 0x31, true)}, 0, "secondary_bus",
                      "not above its own bus");
  ExpectTopologyError({sim::RootPortSpec({0, 0x30, 0, 0}, 0x35, 0x33, true)}, 0, "subordinate_bus",
                      "secondary bus 0x35 above subordinate bus 0x33");

  ExpectTopologyError(
      {sim::RootPortSpec({0, 0x30, 0, 0}, 0x31, 0x34, true), sim::RootPortSpec({0, 0x30, 2, 0}, 0x33, 0x36, true)}, 1,
      "secondary_bus", "overlaps range 0x31..0x34");

  ExpectTopologyError(
      {sim::RootPortSpec({0, 0x30, 0, 0}, 0x31, 0x34, true), sim::EndpointSpec({0, 0x33, 0, 0}, 1, 2, 0)}, 1,
      "location", "no bridge's secondary bus leads to its bus");

  auto bad_cap = sim::EndpointSpec({0, 1, 0, 0}, 1, 2, 0);
  bad_cap.capabilities[0].offset = 0xF0;
  ExpectTopologyError({bad_cap}, 0, "capabilities[0].offset", "runs past");
}

class PciWindowTest : public sim_test::PlatformTest {
 protected:
  sim::PciPlatform& Attach(std::vector<sim::PciFunctionSpec> specs) {
    return sim::AttachPci(platform, std::move(specs), kEcam);
  }
};

TEST_F(PciWindowTest, WindowReadsFunctionsAndAbsentOnesReadAllOnes) {
  Attach(SmallTopology());
  EXPECT_EQ(MmioRead32(Config(0x34, 0, 0, 0)), 0x00971000u);
  EXPECT_EQ(MmioRead8(Config(0x30, 2, 0, 0x19)), 0x32);
  EXPECT_EQ(MmioRead16(Config(0x30, 2, 0, 0x1A)), 0x0034) << "subordinate 0x34, secondary latency 0";
  EXPECT_EQ(MmioRead32(Config(0x31, 0, 0, 0)), 0xFFFFFFFFu);
  EXPECT_EQ(MmioRead16(Config(0x16, 0, 2, 0)), 0xFFFF) << "a function the device does not have";
}

TEST_F(PciWindowTest, MisalignedOrWideAccessesAreViolations) {
  Attach(SmallTopology());
  EXPECT_EQ(MmioRead32(Config(0x34, 0, 0, 2)), 0xFFFFFFFFu);
  ExpectViolation("naturally aligned");
  MmioRead64(Config(0x34, 0, 0, 0));
  ExpectViolation("naturally aligned");
}

TEST_F(PciWindowTest, WritesKeepReadOnlyBitsAndReportThem) {
  Attach(SmallTopology());
  MmioWrite16(Config(0x34, 0, 0, 0x04), 0x0002);  // Command is writable
  EXPECT_EQ(MmioRead16(Config(0x34, 0, 0, 0x04)), 0x0002);
  EXPECT_TRUE(platform.Violations().Empty()) << platform.Violations().Joined();
  MmioWrite16(Config(0x34, 0, 0, 0x00), 0x1234);  // vendor ID is not
  EXPECT_EQ(MmioRead16(Config(0x34, 0, 0, 0x00)), 0x1000);
  ExpectViolation("changes read-only bits");
  MmioWrite8(Config(0x40, 0, 0, 0x04), 0);
  ExpectViolation("no function there");
}

TEST_F(PciWindowTest, VpdHandshakeThroughTheWindowFollowsTheVirtualClock) {
  auto card = sim::EndpointSpec({0, 0x18, 0, 0}, 0x7A3B, 0x1593, 0x020000);
  sim::WithVpd(card, {1, 2, 3, 4, 5, 6, 7, 8}, 30);
  auto& pci = Attach({card});
  const uint8_t cap = 0x40 + sim::kPciExpressCapabilitySize;
  ASSERT_EQ(MmioRead8(Config(0x18, 0, 0, cap)), 0x03);
  MmioWrite16(Config(0x18, 0, 0, cap + 2), 0x0004);
  EXPECT_EQ(MmioRead16(Config(0x18, 0, 0, cap + 2)), 0x0004);
  platform.Clock().Advance(30);
  EXPECT_EQ(MmioRead16(Config(0x18, 0, 0, cap + 2)), 0x8004);
  EXPECT_EQ(MmioRead32(Config(0x18, 0, 0, cap + 4)), 0x08070605u);
  EXPECT_EQ(pci.Bus().Find({0, 0x18, 0, 0})->Vpd()->ReadsStarted(), 1u);
}

TEST_F(PciWindowTest, PciIoInstancesAreInstalledInEnumerationOrder) {
  auto& pci = Attach(SmallTopology());
  const EFI_GUID guid = EFI_PCI_IO_PROTOCOL_GUID;
  auto handles = platform.Protocols().HandlesWith(guid);
  ASSERT_EQ(handles.size(), 8u);
  const auto& order = pci.Bus().EnumerationOrder();
  for (size_t i = 0; i < handles.size(); ++i) {
    void* interface = nullptr;
    ASSERT_EQ(platform.Protocols().Lookup(handles[i], guid, &interface), EFI_SUCCESS);
    auto* io = static_cast<EFI_PCI_IO_PROTOCOL*>(interface);
    UINTN s = 9, b = 9, d = 9, f = 9;
    ASSERT_EQ(io->GetLocation(io, &s, &b, &d, &f), EFI_SUCCESS);
    EXPECT_EQ((PciLocation{static_cast<uint16_t>(s), static_cast<uint8_t>(b), static_cast<uint8_t>(d),
                           static_cast<uint8_t>(f)}),
              order[i]->Location());
  }
}

TEST_F(PciWindowTest, PciReadHonoursWidthAndCount) {
  auto& pci = Attach(SmallTopology());
  EFI_PCI_IO_PROTOCOL* io = pci.Instances().InstanceAt({0, 0x16, 0, 1});
  ASSERT_NE(io, nullptr);
  uint8_t class_code[3] = {};
  EXPECT_EQ(io->Pci.Read(io, EfiPciIoWidthUint8, 0x09, 3, class_code), EFI_SUCCESS);
  EXPECT_EQ(class_code[2], 0x02);
  uint16_t ids[2] = {};
  EXPECT_EQ(io->Pci.Read(io, EfiPciIoWidthUint16, 0x00, 2, ids), EFI_SUCCESS);
  EXPECT_EQ(ids[0], 0x7A3B);
  EXPECT_EQ(ids[1], 0x1593);
  uint32_t dword = 0;
  EXPECT_EQ(io->Pci.Read(io, EfiPciIoWidthUint32, 0x00, 1, &dword), EFI_SUCCESS);
  EXPECT_EQ(dword, 0x15937A3Bu);
  EXPECT_EQ(platform.Calls().Get("PciIo.Pci.Read"), 3u);

  EXPECT_EQ(io->Pci.Read(io, EfiPciIoWidthUint32, 0xFFC, 2, ids), EFI_UNSUPPORTED);
  ExpectViolation("leaves the 4 KiB space");
  EXPECT_EQ(io->Pci.Read(io, EfiPciIoWidthUint64, 0, 1, &dword), EFI_INVALID_PARAMETER);
  ExpectViolation("width 3");
}

TEST_F(PciWindowTest, MembersTheDriverMustNotUseReportViolations) {
  auto& pci = Attach(SmallTopology());
  EFI_PCI_IO_PROTOCOL* io = pci.Instances().InstanceAt({0, 0x34, 0, 0});
  uint32_t value = 0;
  EXPECT_EQ(io->Pci.Write(io, EfiPciIoWidthUint32, 0x04, 1, &value), EFI_UNSUPPORTED);
  ExpectViolation("Pci.Write at 0x4 called");
  EXPECT_EQ(io->Mem.Read(io, EfiPciIoWidthUint32, 0, 0, 1, &value), EFI_UNSUPPORTED);
  ExpectViolation("Mem.Read called");
  auto attributes = reinterpret_cast<EFI_STATUS(EFIAPI*)(EFI_PCI_IO_PROTOCOL*)>(io->Attributes);
  EXPECT_EQ(attributes(io), EFI_UNSUPPORTED);
  ExpectViolation("PCI I/O of 0000:34:00.0: Attributes called");
}

}  // namespace
