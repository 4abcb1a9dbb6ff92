// A simulated platform with a BMC, a variable store and a freshly reset driver state, and helpers to build FRU
// images and read back the published type 39 records.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/dxe/ipmi_bmc.h"
#include "sim/dxe/power_supply_fru_image.h"
#include "sim/dxe/variable_store.h"
#include "smbios/entry/driver_state.h"
#include "tests/support/platform_checks.h"
#include "tests/support/driver_state_fixture.h"

namespace power_test {

inline EFI_GUID CacheGuid() { return {0x2D667ED8, 0xA97C, 0x49C1, {0xAE, 0x0F, 0x40, 0x97, 0x36, 0xE2, 0x5B, 0xF4}}; }

inline sim::PowerSupplyFruFields Fields(const std::string& tag) {
  sim::PowerSupplyFruFields f;
  f.manufacturer = "M-" + tag;
  f.product = "P-" + tag;
  f.part = "N-" + tag;
  f.version = "V-" + tag;
  f.serial = "S-" + tag;
  f.asset_tag = "";
  f.capacity_watts = 800;
  return f;
}

inline std::vector<uint8_t> Fru(const sim::PowerSupplyFruFields& fields,
                                sim::FruChecksumBreak spoil = sim::FruChecksumBreak::None) {
  std::vector<uint8_t> image;
  std::string problem = sim::BuildPowerSupplyFru(fields, spoil, &image);
  EXPECT_EQ(problem, "");
  return image;
}

// One published type 39 record, decoded.
struct PowerSupplyView {
  uint8_t group;
  std::string location, device_name, manufacturer, serial, asset_tag, model, revision;
  uint16_t capacity;
  uint16_t characteristics;
  uint16_t probe_handles[3];
  std::vector<std::string> strings;
};

class PowerTest : public sim_test::PlatformTest {
 protected:
  void SetUp() override {
    driver_test::AttachDriverState(platform);
    bmc = &sim::InstallIpmiBmc(platform);
    EFI_GUID guid = IPMI_TRANSPORT_PROTOCOL_GUID;
    void* interface = nullptr;
    ASSERT_EQ(platform.Protocols().Locate(guid, &interface), EFI_SUCCESS);
    ipmi = static_cast<IPMI_TRANSPORT_PROTOCOL*>(interface);
    store = &sim::PlatformVariableStore(platform);
  }

  void CacheImage(uint8_t supply, std::vector<uint8_t> image) {
    store->Put(supply == 1 ? u"PSU1" : u"PSU2", CacheGuid(), 3, std::move(image));
  }
  const sim::StoredVariable* Cached(uint8_t supply) { return store->Find(supply == 1 ? u"PSU1" : u"PSU2", CacheGuid()); }

  std::vector<PowerSupplyView> Published() {
    std::vector<PowerSupplyView> out;
    for (const auto& r : platform.Smbios().Records()) {
      if (r.type != 39) continue;
      EXPECT_EQ(r.bytes[1], 0x16);
      PowerSupplyView v{};
      v.group = r.bytes[4];
      std::string* fields[] = {&v.location, &v.device_name, &v.manufacturer, &v.serial,
                               &v.asset_tag, &v.model,      &v.revision};
      for (int i = 0; i < 7; ++i) {
        uint8_t n = r.bytes[5 + i];
        *fields[i] = n == 0 ? "(none)" : (n <= r.strings.size() ? r.strings[n - 1] : "(bad index)");
      }
      v.capacity = static_cast<uint16_t>(r.bytes[0x0C] | r.bytes[0x0D] << 8);
      v.characteristics = static_cast<uint16_t>(r.bytes[0x0E] | r.bytes[0x0F] << 8);
      for (int i = 0; i < 3; ++i) v.probe_handles[i] = static_cast<uint16_t>(r.bytes[0x10 + 2 * i] | r.bytes[0x11 + 2 * i] << 8);
      v.strings = r.strings;
      out.push_back(v);
    }
    return out;
  }

  sim::BmcModel* bmc = nullptr;
  IPMI_TRANSPORT_PROTOCOL* ipmi = nullptr;
  sim::VariableStore* store = nullptr;
};

}  // namespace power_test
