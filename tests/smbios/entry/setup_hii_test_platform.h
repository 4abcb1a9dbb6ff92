// A simulated platform with a freshly reset driver state (service pointers and the HII database in place),
// a variable store, and a pool buffer that receives the configuration image.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sim/dxe/setup_variables.h"
#include "sim/dxe/variable_store.h"
#include "smbios/entry/driver_state.h"
#include "tests/support/platform_checks.h"
#include "tests/support/driver_state_fixture.h"

namespace setup_hii_test {

class SetupHiiTest : public sim_test::PlatformTest {
 protected:
  void SetUp() override {
    driver_test::AttachDriverState(platform);
    *DriverProtocolCache(CachedHiiDatabase) = platform.Hii().Protocol();
    store = &sim::PlatformVariableStore(platform);
  }
  void TearDown() override {
    if (destination_ != nullptr) platform.Pool().Free(destination_);
    PlatformTest::TearDown();
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

  // A pool buffer of exactly the image size, pre-filled with 0xEE; its guards catch a write past the end.
  UINT8* Destination() {
    if (destination_ == nullptr) {
      void* p = nullptr;
      EXPECT_EQ(platform.Pool().Allocate(EfiBootServicesData, sim::kSetupImageSize, &p), EFI_SUCCESS);
      destination_ = static_cast<UINT8*>(p);
      std::fill(destination_, destination_ + sim::kSetupImageSize, 0xEE);
    }
    return destination_;
  }
  std::vector<uint8_t> Image() { return {Destination(), Destination() + sim::kSetupImageSize}; }

  sim::VariableStore* store = nullptr;

 private:
  UINT8* destination_ = nullptr;
};

}  // namespace setup_hii_test
