// A platform holding the PCD values the driver reads at entry, and the driver's entry point run on it.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/board/pci_platform.h"
#include "sim/dxe/pcd_store.h"
#include "smbios/entry/driver_entry.h"
#include "smbios/entry/driver_state.h"
#include "tests/support/platform_checks.h"

namespace spine_test {

constexpr uint64_t kTestEcamBase = 0x80000000;

// A layout with Valid 0, so the slot builders do not probe hardware.
inline std::vector<uint8_t> UnprobedLayout() {
  std::vector<uint8_t> layout(72, 0);
  for (size_t i = 4; i < layout.size(); ++i) layout[i] = static_cast<uint8_t>(i);
  return layout;
}

class EntryTest : public sim_test::PlatformTest {
 protected:
  void SetUp() override {
    DriverStateReset();
    platform.Pcd().Set64(sim::kPcdEcamBase, kTestEcamBase);
    platform.Pcd().SetPointer(sim::kPcdSocketBusLayout, UnprobedLayout());
    platform.Pcd().Set32(sim::kPcdUuidTimestamp, 0);
    // An empty PCI segment behind the window: the onboard-device and MAC searches probe it and read all ones.
    sim::AttachPci(platform, {}, kTestEcamBase);
  }
  EFI_STATUS Enter() { return PlatformSmbiosDriverEntry(platform.ImageHandle(), platform.SystemTable()); }
};

}  // namespace spine_test
