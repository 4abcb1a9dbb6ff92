// Fixture for the slot and additional-information tests: a fresh platform with the PCI model behind the ECAM
// base, and the driver's module state pointing at it (as driver entry would leave it).
#pragma once
#include <gtest/gtest.h>

#include <cstring>

#include <vector>

#include "sim/board/pci_platform.h"
#include "sim/pci/pci_spec_builders.h"
#include "sim/pci/socket_bus_layout.h"
#include "smbios/board/slot_table.h"
#include "smbios/entry/driver_state.h"
#include "tests/support/platform_checks.h"
#include "tests/support/driver_state_fixture.h"

namespace slots_test {

constexpr uint64_t kEcam = 0x80000000;
constexpr uint8_t kStack1Bus = 0x16;
constexpr uint8_t kStack2Bus = 0x30;

class SlotDriverTest : public sim_test::PlatformTest {
 protected:
  void SetUp() override {
    driver_test::AttachDriverState(platform);
    DriverSetEcamBase(kEcam);
    SetLayout(DefaultLayout());
  }

  // Socket 0 with stacks 1 and 2 on buses 0x16 and 0x30.
  static sim::SocketBusLayoutSpec DefaultLayout() {
    sim::SocketBusLayoutSpec layout;
    sim::SocketLayoutSpec socket;
    socket.stack_bus[1] = kStack1Bus;
    socket.stack_bus[2] = kStack2Bus;
    layout.sockets[0] = socket;
    return layout;
  }
  static void SetLayout(const sim::SocketBusLayoutSpec& layout) {
    driver_test::SetSocketBusLayout(sim::RenderSocketBusLayout(layout));
  }

  sim::PciPlatform& Attach(std::vector<sim::PciFunctionSpec> specs) {
    return sim::AttachPci(platform, std::move(specs), kEcam);
  }

  // A slot on socket 0, x8, SlotIdHigh 0.
  static SlotEntry Slot(uint8_t stack, uint8_t first_port, uint8_t number, const char16_t* name = u"JSLOT1") {
    SlotEntry e{};
    e.Stack = stack;
    e.FirstPort = first_port;
    e.SlotNumber = number;
    e.WidthCode = 1;
    for (size_t i = 0; name[i] != 0 && i + 1 < SlotDesignationChars; ++i) e.Designation[i] = name[i];
    return e;
  }

  std::vector<sim::SmbiosRecordView> Records() const {
    return const_cast<sim::DxePlatform&>(platform).Smbios().Records();
  }
  std::vector<sim::SmbiosRecordView> RecordsOfType(uint8_t type) const {
    std::vector<sim::SmbiosRecordView> out;
    for (auto& r : Records()) {
      if (r.type == type) out.push_back(r);
    }
    return out;
  }
};

}  // namespace slots_test
