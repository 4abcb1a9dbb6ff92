// The Ethernet search below a bridge on a bare platform: the counter passes over functions in handle order,
// other network sub-classes are never selected, a bridge without its PCI I/O instance is read through the window.
#include <gtest/gtest.h>

#include <vector>

#include "smbios/services/pci/pci_io_handles.h"
#include "smbios/services/pci/pci_io_search.h"
#include "tests/support/driver_test_platform.h"
#include "uefi/status.h"

namespace {

using driver_test::SlotDriverTest;

class EthernetSearchTest : public SlotDriverTest {
 protected:
  // Device << 3 | function of the instance.
  static uint8_t DevFn(EFI_PCI_IO_PROTOCOL* io) {
    UINTN segment = 0, bus = 0, device = 0, function = 0;
    io->GetLocation(io, &segment, &bus, &device, &function);
    return static_cast<uint8_t>(device << 3 | function);
  }
};

TEST_F(EthernetSearchTest, CounterOfOnePassesOverTheFirstAndEndsAtZero) {
  Attach({sim::RootPortSpec({0, 0x16, 3, 0}, 0x17, 0x17, true),
          sim::EndpointSpec({0, 0x17, 0, 0}, 0x7A3B, 0x1589, 0x020000),
          sim::EndpointSpec({0, 0x17, 0, 1}, 0x7A3B, 0x1589, 0x020000),
          sim::EndpointSpec({0, 0x18, 0, 0}, 0x7A3B, 0x1589, 0x020000)});
  UINT64 counter = 1;
  EFI_PCI_IO_PROTOCOL* io = FindEthernetBehindBridge(0, 0x16, 3, 0, &counter);
  ASSERT_NE(io, nullptr);
  EXPECT_EQ(DevFn(io), 0x01);  // device 0, function 1
  EXPECT_EQ(counter, 0u);
  counter = 2;  // only two Ethernet functions lie on bus 0x17; the one on 0x18 is outside the port
  EXPECT_EQ(FindEthernetBehindBridge(0, 0x16, 3, 0, &counter), nullptr);
  EXPECT_EQ(counter, 0u);
  EXPECT_EQ(FindPciIoByLocation(0, 0x17, 0, 2), nullptr) << "a function the device does not have";
}

TEST_F(EthernetSearchTest, OtherNetworkSubclassIsNeverSelectedAndLeavesTheCounter) {
  Attach({sim::RootPortSpec({0, 0x16, 3, 0}, 0x17, 0x17, true),
          sim::EndpointSpec({0, 0x17, 0, 0}, 0x7A3B, 0x1111, 0x028000),
          sim::EndpointSpec({0, 0x17, 0, 1}, 0x7A3B, 0x1589, 0x020000)});
  UINT64 counter = 0;
  EFI_PCI_IO_PROTOCOL* io = FindEthernetBehindBridge(0, 0x16, 3, 0, &counter);
  ASSERT_NE(io, nullptr);
  EXPECT_EQ(DevFn(io), 0x01);
  UINT64 other = 0;
  EXPECT_FALSE(NthEthernetFunction(FindPciIoByLocation(0, 0x17, 0, 0), &other));
  other = 5;
  EXPECT_FALSE(NthEthernetFunction(FindPciIoByLocation(0, 0x17, 0, 0), &other));
  EXPECT_EQ(other, 5u);
}

TEST_F(EthernetSearchTest, NoBridgeInstanceReadsTheBusesThroughTheWindow) {
  // No instance at 16:03.0, so its bus numbers come from the window, where nothing answers: all ones.
  Attach({sim::EndpointSpec({0, 0x17, 0, 0}, 0x7A3B, 0x1589, 0x020000)});
  UINT64 counter = 0;
  EXPECT_EQ(FindEthernetBehindBridge(0, 0x16, 3, 0, &counter), nullptr);
}

// A bridge without a PCI I/O instance at the location asked for: its bus numbers are read through the window
// (by bus, device and function; the window serves segment 0), here real ones (0x17..0x18), and the search
// then selects within them on the segment asked for. Segment 1 has the Ethernet functions but no bridge
// instance at 16:03.0, so only the window can give the range.
TEST_F(EthernetSearchTest, NoBridgeInstanceTakesTheRealBusNumbersTheWindowHolds) {
  Attach({sim::RootPortSpec({0, 0x16, 3, 0}, 0x17, 0x18, true),
          sim::EndpointSpec({1, 0x15, 0, 0}, 0x7A3B, 0x1589, 0x020000),    // below the range
          sim::EndpointSpec({1, 0x18, 0, 0}, 0x7A3B, 0x1589, 0x020000),    // inside: the one found
          sim::EndpointSpec({1, 0x19, 0, 0}, 0x7A3B, 0x1589, 0x020000)});  // above the range
  ASSERT_EQ(FindPciIoByLocation(1, 0x16, 3, 0), nullptr);
  platform.Bus().SetRecording(true);
  UINT64 counter = 0;
  EFI_PCI_IO_PROTOCOL* io = FindEthernetBehindBridge(1, 0x16, 3, 0, &counter);
  ASSERT_NE(io, nullptr);
  UINTN segment = 9, bus = 0, device = 9, function = 9;
  io->GetLocation(io, &segment, &bus, &device, &function);
  EXPECT_EQ(segment, 1u);
  EXPECT_EQ(bus, 0x18u);
  std::vector<uint64_t> reads;
  for (const auto& a : platform.Bus().Recorded()) {
    if (!a.write) reads.push_back(a.address);
  }
  const uint64_t bridge = driver_test::kEcam + (0x16u << 20) + (3u << 15);
  EXPECT_EQ(reads, (std::vector<uint64_t>{bridge + 0x19, bridge + 0x1A})) << "secondary, then subordinate";
  counter = 1;  // one Ethernet function in the range only
  EXPECT_EQ(FindEthernetBehindBridge(1, 0x16, 3, 0, &counter), nullptr);
}

// A function whose class reads Ethernet but whose header is a bridge's is not an Ethernet function.
TEST_F(EthernetSearchTest, AFunctionWithABridgeHeaderIsNeverSelected) {
  sim::PciFunctionSpec odd = sim::EndpointSpec({0, 0x17, 0, 0}, 0x7A3B, 0x1589, 0x020000);
  odd.header_type = 1;
  odd.secondary_bus = 0x18;
  odd.subordinate_bus = 0x18;
  Attach({sim::RootPortSpec({0, 0x16, 3, 0}, 0x17, 0x17, true), odd,
          sim::EndpointSpec({0, 0x17, 0, 1}, 0x7A3B, 0x1589, 0x020000)});
  UINT64 counter = 0;
  EFI_PCI_IO_PROTOCOL* io = FindEthernetBehindBridge(0, 0x16, 3, 0, &counter);
  ASSERT_NE(io, nullptr);
  EXPECT_EQ(DevFn(io), 0x01);
}

// With a PCI I/O instance at the bridge, its bus numbers are read through that instance, not the window.
TEST_F(EthernetSearchTest, ABridgeInstanceIsReadThroughItsPciIo) {
  Attach({sim::RootPortSpec({0, 0x16, 3, 0}, 0x17, 0x17, true),
          sim::EndpointSpec({0, 0x17, 0, 0}, 0x7A3B, 0x1589, 0x020000)});
  DriverSetEcamBase(0);  // the window now answers nothing
  UINT64 counter = 0;
  EFI_PCI_IO_PROTOCOL* io = FindEthernetBehindBridge(0, 0x16, 3, 0, &counter);
  ASSERT_NE(io, nullptr);
  EXPECT_EQ(DevFn(io), 0x00);
}

// The onboard LAN is looked for only with a valid bus layout: the same layout marked not valid finds nothing.
TEST_F(EthernetSearchTest, TheOnboardLanNeedsAValidBusLayout) {
  sim::SocketBusLayoutSpec layout = DefaultLayout();
  layout.sockets[0]->stack_bus[3] = 0x40;
  Attach({sim::RootPortSpec({0, 0x40, 3, 0}, 0x41, 0x41, true),
          sim::EndpointSpec({0, 0x41, 0, 0}, 0x7A3B, 0x1589, 0x020000)});
  UINT64 counter = 0;
  EXPECT_EQ(FindOnboardLan(&counter), nullptr) << "stack 3 is not in the default layout";
  SetLayout(layout);
  ASSERT_NE(FindOnboardLan(&counter), nullptr);
  layout.valid = false;
  SetLayout(layout);
  EXPECT_EQ(FindOnboardLan(&counter), nullptr);
}

// Stand-ins around the platform's services: a HandleProtocol that counts its calls and fails for the first
// handle, and a LocateHandleBuffer that fails yet hands out a buffer.
EFI_HANDLE_PROTOCOL real_handle_protocol = nullptr;
uint64_t handle_protocol_calls = 0;
EFI_STATUS EFIAPI FirstHandleFails(EFI_HANDLE handle, EFI_GUID* guid, VOID** interface) {
  if (handle_protocol_calls++ == 0) return EFI_UNSUPPORTED;
  return real_handle_protocol(handle, guid, interface);
}
EFI_HANDLE failed_buffer[1] = {nullptr};
EFI_STATUS EFIAPI FailingLocateHandleBuffer(EFI_LOCATE_SEARCH_TYPE, EFI_GUID*, VOID*, UINTN* count,
                                            EFI_HANDLE** buffer) {
  *count = 1;
  *buffer = failed_buffer;
  return EFI_NOT_FOUND;
}
EFI_STATUS EFIAPI NoHandleBuffer(EFI_LOCATE_SEARCH_TYPE, EFI_GUID*, VOID*, UINTN* count, EFI_HANDLE** buffer) {
  *count = 0;
  *buffer = nullptr;
  return EFI_SUCCESS;
}
EFI_STATUS EFIAPI NoLocation(EFI_PCI_IO_PROTOCOL*, UINTN*, UINTN*, UINTN*, UINTN*) { return EFI_DEVICE_ERROR; }
BOOLEAN VisitAll(EFI_PCI_IO_PROTOCOL*, const PciIoLocation*, VOID* context) {
  ++*static_cast<uint64_t*>(context);
  return FALSE;
}

TEST_F(EthernetSearchTest, TheWalkAsksForEachHandleOnceAndSkipsOneWithoutAnInstance) {
  Attach({sim::RootPortSpec({0, 0x16, 3, 0}, 0x17, 0x17, true),
          sim::EndpointSpec({0, 0x17, 0, 0}, 0x7A3B, 0x1589, 0x020000),
          sim::EndpointSpec({0, 0x17, 0, 1}, 0x7A3B, 0x1589, 0x020000)});
  real_handle_protocol = platform.BootServices()->HandleProtocol;
  platform.BootServices()->HandleProtocol = &FirstHandleFails;
  handle_protocol_calls = 0;
  uint64_t visited = 0;
  EXPECT_EQ(WalkPciIoInstances(&VisitAll, &visited), nullptr);
  EXPECT_EQ(handle_protocol_calls, 3u);
  EXPECT_EQ(visited, 2u);
  platform.BootServices()->HandleProtocol = real_handle_protocol;
}

// An instance that cannot say where it is, is passed over; a search that succeeds without a buffer frees none.
TEST_F(EthernetSearchTest, AnInstanceWithoutALocationIsSkippedAndNoBufferIsNotFreed) {
  Attach({sim::EndpointSpec({0, 0x17, 0, 0}, 0x7A3B, 0x1589, 0x020000),
          sim::EndpointSpec({0, 0x17, 0, 1}, 0x7A3B, 0x1589, 0x020000)});
  EFI_PCI_IO_PROTOCOL* first = FindPciIoByLocation(0, 0x17, 0, 0);
  ASSERT_NE(first, nullptr);
  first->GetLocation = &NoLocation;
  uint64_t visited = 0;
  EXPECT_EQ(WalkPciIoInstances(&VisitAll, &visited), nullptr);
  EXPECT_EQ(visited, 1u);
  EFI_LOCATE_HANDLE_BUFFER real = platform.BootServices()->LocateHandleBuffer;
  platform.BootServices()->LocateHandleBuffer = &NoHandleBuffer;
  uint64_t frees = platform.Calls().Get("FreePool");
  EXPECT_EQ(WalkPciIoInstances(&VisitAll, &visited), nullptr);
  EXPECT_EQ(platform.Calls().Get("FreePool"), frees);
  platform.BootServices()->LocateHandleBuffer = real;
}

TEST_F(EthernetSearchTest, AFailedHandleSearchIsNeitherWalkedNorFreed) {
  Attach({sim::EndpointSpec({0, 0x17, 0, 0}, 0x7A3B, 0x1589, 0x020000)});
  EFI_LOCATE_HANDLE_BUFFER real = platform.BootServices()->LocateHandleBuffer;
  platform.BootServices()->LocateHandleBuffer = &FailingLocateHandleBuffer;
  uint64_t visited = 0;
  uint64_t handle_protocols = platform.Calls().Get("HandleProtocol");
  uint64_t frees = platform.Calls().Get("FreePool");
  EXPECT_EQ(WalkPciIoInstances(&VisitAll, &visited), nullptr);
  EXPECT_EQ(visited, 0u);
  EXPECT_EQ(platform.Calls().Get("HandleProtocol"), handle_protocols);
  EXPECT_EQ(platform.Calls().Get("FreePool"), frees);
  platform.BootServices()->LocateHandleBuffer = real;
}

}  // namespace
