// The driver attached to a simulated DXE platform, for the driver's tests: the module state as the entry point
// leaves it (for tests that call driver code without running the entry point), the PCI model behind the ECAM
// window with a socket/stack bus layout, pool buffers freed at the end of the test, the published records by
// type; and the whole driver booted on a board (entry point, then the callback at enumeration complete).
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "sim/board/board.h"
#include "sim/board/nvram_boot.h"
#include "sim/board/pci_platform.h"
#include "sim/dxe/dxe_platform.h"
#include "sim/pci/pci_spec_builders.h"
#include "sim/pci/socket_bus_layout.h"
#include "smbios/board/slot_table.h"
#include "smbios/entry/driver_entry.h"
#include "smbios/entry/driver_state.h"
#include "tests/support/platform_checks.h"

namespace driver_test {

// A fresh module state holding the platform's image handle, system table and services.
inline void AttachDriverState(sim::DxePlatform& platform) {
  DriverStateReset();
  DriverAttach(platform.ImageHandle(), platform.SystemTable());
}

// SocketBusLayout := the bytes, cut or zero-padded to the record's 72 bytes.
inline void SetSocketBusLayout(std::vector<uint8_t> bytes) {
  bytes.resize(sizeof(SocketBusLayoutRecord), 0);
  std::memcpy(DriverSocketBusLayoutForUpdate(), bytes.data(), bytes.size());
}

// Resets the module state (a fresh load) and boots the board with the driver's entry point: the registry calls
// the driver back at enumeration complete. With a path, the board's variables are kept in that file between runs.
inline sim::BootedBoard BootDriver(const sim::Board& board, const std::optional<std::string>& nvram = std::nullopt) {
  DriverStateReset();
  return sim::BootBoardWithNvram(board, &PlatformSmbiosDriverEntry, nvram);
}

// A fresh platform with the driver's module state attached to it (as after entry step 1). Pool buffers taken
// with PoolBuffer are freed before the end-of-run checks.
class DriverTest : public sim_test::PlatformTest {
 protected:
  void SetUp() override { AttachDriverState(platform); }
  void TearDown() override {
    for (void* buffer : buffers_) platform.Pool().Free(buffer);
    buffers_.clear();
    PlatformTest::TearDown();
  }

  // A boot-services pool buffer of `size` bytes of `fill`; the pool's guards catch a write past its end.
  uint8_t* PoolBuffer(size_t size, uint8_t fill) {
    void* buffer = nullptr;
    EXPECT_EQ(platform.Pool().Allocate(EfiBootServicesData, size, &buffer), EFI_SUCCESS);
    auto* p = static_cast<uint8_t*>(buffer);
    if (p != nullptr) {
      std::fill(p, p + size, fill);
      buffers_.push_back(buffer);
    }
    return p;
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

 private:
  std::vector<void*> buffers_;
};

constexpr uint64_t kEcam = 0x80000000;
constexpr uint8_t kStack1Bus = 0x16;
constexpr uint8_t kStack2Bus = 0x30;

// DriverTest with the PCI model behind the ECAM base and socket 0's stacks 1 and 2 in the bus layout.
class SlotDriverTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
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
    SetSocketBusLayout(sim::RenderSocketBusLayout(layout));
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
};

}  // namespace driver_test
