// Fixtures of the record tests, on the driver attached to a simulated platform (tests/support/driver_test_platform.h):
// records put into pool buffers of the size the builders use, and a platform with a BMC and a variable store
// with helpers to build FRU images and read back the published type 39 records.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/dxe/ipmi_bmc.h"
#include "sim/dxe/power_supply_fru_image.h"
#include "sim/dxe/smbios_record_check.h"
#include "sim/dxe/variable_store.h"
#include "smbios/records/record_toolkit.h"
#include "tests/support/driver_test_platform.h"

namespace records_test {

// Records in pool buffers, and records other drivers added.
class RecordBufferTest : public driver_test::DriverTest {
 protected:
  // A pool buffer of the builders' size holding the record, the rest of it `fill`; the pool's guards catch
  // writes past it.
  EFI_SMBIOS_TABLE_HEADER* RecordBuffer(const std::vector<uint8_t>& formatted, const std::vector<std::string>& strings,
                                        uint8_t fill = 0) {
    std::vector<uint8_t> bytes = sim::BuildSmbiosRecord(formatted, strings);
    uint8_t* p = PoolBuffer(SmbiosRecordBufferSize, fill);
    std::copy(bytes.begin(), bytes.end(), p);
    return reinterpret_cast<EFI_SMBIOS_TABLE_HEADER*>(p);
  }

  std::vector<uint8_t> Bytes(const EFI_SMBIOS_TABLE_HEADER* record, size_t size = SmbiosRecordBufferSize) {
    auto* p = reinterpret_cast<const uint8_t*>(record);
    return {p, p + size};
  }

  // Adds a record to the table directly, as another driver would have.
  uint16_t AddForeign(uint8_t type, uint8_t length = 4, std::vector<std::string> strings = {}) {
    std::vector<uint8_t> formatted(length, 0);
    formatted[0] = type;
    formatted[1] = length;
    std::vector<uint8_t> bytes = sim::BuildSmbiosRecord(formatted, strings);
    EFI_SMBIOS_HANDLE handle = SMBIOS_HANDLE_PI_RESERVED;
    EXPECT_EQ(platform.Smbios().Add(&handle, reinterpret_cast<EFI_SMBIOS_TABLE_HEADER*>(bytes.data())), EFI_SUCCESS);
    return handle;
  }
};

// A formatted area of `length` bytes with the given type, Handle 0xFFFE.
inline std::vector<uint8_t> Formatted(uint8_t type, uint8_t length) {
  std::vector<uint8_t> f(length, 0);
  f[0] = type;
  f[1] = length;
  f[2] = 0xFE;
  f[3] = 0xFF;
  return f;
}

inline std::u16string Ucs2(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

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

// The platform's BMC behind the IPMI transport and its variable store, with the FRU cache variables.
class PowerTest : public driver_test::DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
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
  const sim::StoredVariable* Cached(uint8_t supply) {
    return store->Find(supply == 1 ? u"PSU1" : u"PSU2", CacheGuid());
  }

  std::vector<PowerSupplyView> Published() {
    std::vector<PowerSupplyView> out;
    for (const auto& r : RecordsOfType(39)) {
      EXPECT_EQ(r.bytes[1], 0x16);
      PowerSupplyView v{};
      v.group = r.bytes[4];
      std::string* fields[] = {&v.location,  &v.device_name, &v.manufacturer, &v.serial,
                               &v.asset_tag, &v.model,       &v.revision};
      for (int i = 0; i < 7; ++i) {
        uint8_t n = r.bytes[5 + i];
        *fields[i] = n == 0 ? "(none)" : (n <= r.strings.size() ? r.strings[n - 1] : "(bad index)");
      }
      v.capacity = static_cast<uint16_t>(r.bytes[0x0C] | r.bytes[0x0D] << 8);
      v.characteristics = static_cast<uint16_t>(r.bytes[0x0E] | r.bytes[0x0F] << 8);
      for (int i = 0; i < 3; ++i)
        v.probe_handles[i] = static_cast<uint16_t>(r.bytes[0x10 + 2 * i] | r.bytes[0x11 + 2 * i] << 8);
      v.strings = r.strings;
      out.push_back(v);
    }
    return out;
  }

  sim::BmcModel* bmc = nullptr;
  IPMI_TRANSPORT_PROTOCOL* ipmi = nullptr;
  sim::VariableStore* store = nullptr;
};

}  // namespace records_test
