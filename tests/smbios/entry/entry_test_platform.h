// Fixtures of the entry tests: a platform holding the PCD values the driver reads at entry, with the driver's entry
// point run on it; and the driver state attached to a platform with the HII database in place, a variable store,
// and a pool buffer that receives the setup configuration image.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sim/board/pci_platform.h"
#include "sim/dxe/pcd_store.h"
#include "sim/dxe/setup_variables.h"
#include "sim/dxe/variable_store.h"
#include "smbios/entry/driver_entry.h"
#include "smbios/entry/driver_state.h"
#include "tests/support/driver_test_platform.h"

namespace entry_test {

// A layout with Valid 0, so the slot builders do not probe hardware.
inline std::vector<uint8_t> UnprobedLayout() {
  std::vector<uint8_t> layout(72, 0);
  for (size_t i = 4; i < layout.size(); ++i) layout[i] = static_cast<uint8_t>(i);
  return layout;
}

// The PCD values in place and a fresh module state; Enter runs the entry point.
class EntryTest : public sim_test::PlatformTest {
 protected:
  void SetUp() override {
    DriverStateReset();
    platform.Pcd().Set64(sim::kPcdEcamBase, driver_test::kEcam);
    platform.Pcd().SetPointer(sim::kPcdSocketBusLayout, UnprobedLayout());
    platform.Pcd().Set32(sim::kPcdUuidTimestamp, 0);
    // An empty PCI segment behind the window: the onboard-device and MAC searches probe it and read all ones.
    sim::AttachPci(platform, {}, driver_test::kEcam);
  }
  EFI_STATUS Enter() { return PlatformSmbiosDriverEntry(platform.ImageHandle(), platform.SystemTable()); }
};

// The module state attached, the HII database cached, the setup variables put into the store by table position.
class SetupHiiTest : public driver_test::DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    *DriverProtocolCache(CachedHiiDatabase) = platform.Hii().Protocol();
    store = &sim::PlatformVariableStore(platform);
  }

  // The setup variable at table position `index` with `size` bytes of `fill`.
  void PutSetup(size_t index, size_t size, uint8_t fill) {
    const sim::SetupVariable& v = sim::SetupVariables()[index];
    store->Put(v.name, v.vendor, sim::kSetupVariableAttributes, std::vector<uint8_t>(size, fill));
  }
  void PutAllSetup() {
    for (size_t i = 0; i < sim::SetupVariables().size(); ++i) {
      PutSetup(i, sim::SetupVariables()[i].size, static_cast<uint8_t>(i + 1));
    }
  }

  // A pool buffer of exactly the image size, pre-filled with 0xEE (taken once); its guards catch a write past the end.
  UINT8* Destination() {
    if (destination_ == nullptr) destination_ = PoolBuffer(sim::kSetupImageSize, 0xEE);
    return destination_;
  }
  std::vector<uint8_t> Image() { return {Destination(), Destination() + sim::kSetupImageSize}; }

  sim::VariableStore* store = nullptr;

 private:
  UINT8* destination_ = nullptr;
};

}  // namespace entry_test
