// A simulated platform with a freshly reset driver state whose service pointers reach it, and helpers to
// put records into pool buffers of the size the builders use.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/dxe/smbios_record_check.h"
#include "smbios/entry/driver_state.h"
#include "smbios/records/record_toolkit.h"
#include "tests/support/platform_checks.h"
#include "tests/support/driver_state_fixture.h"

namespace spine_test {

// Driver state reset, boot services of the platform in place (as after entry step 1).
class SpineTest : public sim_test::PlatformTest {
 protected:
  void SetUp() override {
    driver_test::AttachDriverState(platform);
  }
  void TearDown() override {
    for (void* buffer : buffers_) platform.Pool().Free(buffer);
    buffers_.clear();
    PlatformTest::TearDown();
  }

  // A zero-filled pool buffer of 768 bytes holding the record; the pool's guards catch writes past it.
  EFI_SMBIOS_TABLE_HEADER* RecordBuffer(const std::vector<uint8_t>& formatted, const std::vector<std::string>& strings) {
    std::vector<uint8_t> bytes = sim::BuildSmbiosRecord(formatted, strings);
    void* buffer = nullptr;
    EXPECT_EQ(platform.Pool().Allocate(EfiBootServicesData, SmbiosRecordBufferSize, &buffer), EFI_SUCCESS);
    auto* p = static_cast<uint8_t*>(buffer);
    std::fill(p, p + SmbiosRecordBufferSize, 0);
    std::copy(bytes.begin(), bytes.end(), p);
    buffers_.push_back(buffer);
    return reinterpret_cast<EFI_SMBIOS_TABLE_HEADER*>(buffer);
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

 private:
  std::vector<void*> buffers_;
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

}  // namespace spine_test
