// The callback registry: the "PSMB" record checks and the once-only call at enumeration complete.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/dxe/callback_registry.h"
#include "tests/support/platform_checks.h"

namespace {

using sim_test::PlatformTest;

int g_calls = 0;
EFI_STATUS g_result = EFI_SUCCESS;

EFI_STATUS EFIAPI Callback() {
  ++g_calls;
  return g_result;
}

struct Registration {
  uint8_t bytes[24];
};

Registration GoodRecord() {
  Registration r{};
  const uint32_t words[4] = {0x424D5350, 1, 21, 0};
  std::memcpy(r.bytes, words, 16);
  const uint64_t entry = reinterpret_cast<uintptr_t>(&Callback);
  std::memcpy(r.bytes + 16, &entry, 8);
  return r;
}

class RegistryTest : public PlatformTest {
 protected:
  void SetUp() override {
    g_calls = 0;
    g_result = EFI_SUCCESS;
  }
  EFI_STATUS Register(Registration r, UINTN size = 24, EFI_GUID key = SMBIOS_PUBLISH_POINT_GUID) {
    PLATFORM_CALLBACK_REGISTRY* reg = platform.Registry().Protocol();
    return reg->Register(reg, &key, r.bytes, size);
  }
  void ExpectRefused(Registration r, const std::string& reason, UINTN size = 24,
                     EFI_GUID key = SMBIOS_PUBLISH_POINT_GUID) {
    EXPECT_EQ(Register(r, size, key), EFI_INVALID_PARAMETER);
    EXPECT_EQ(platform.Registry().Registrations(), 0u);
    ExpectViolation(reason);
    EXPECT_FALSE(platform.DeclareEnumerationComplete().ran);
    EXPECT_EQ(g_calls, 0);
  }
};

TEST_F(RegistryTest, CallsTheCallbackOnceAtEnumerationComplete) {
  g_result = EFI_NOT_FOUND;
  ASSERT_EQ(Register(GoodRecord()), EFI_SUCCESS);
  EXPECT_EQ(g_calls, 0);
  sim::CallbackOutcome first = platform.DeclareEnumerationComplete();
  EXPECT_TRUE(first.ran);
  EXPECT_EQ(first.status, EFI_NOT_FOUND);
  EXPECT_EQ(g_calls, 1);
  sim::CallbackOutcome second = platform.DeclareEnumerationComplete();
  EXPECT_FALSE(second.ran);
  EXPECT_EQ(g_calls, 1);
}

TEST_F(RegistryTest, ALateRegistrationRunsAtOnce) {
  platform.DeclareEnumerationComplete();
  ASSERT_EQ(Register(GoodRecord()), EFI_SUCCESS);
  EXPECT_EQ(g_calls, 1);
}

TEST_F(RegistryTest, RefusesAWrongKey) {
  ExpectRefused(GoodRecord(), "is not the SMBIOS publish point", 24, EFI_GUID{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}});
}

TEST_F(RegistryTest, RefusesAWrongSize) { ExpectRefused(GoodRecord(), "record size 23, expected 24", 23); }

TEST_F(RegistryTest, RefusesAWrongSignature) {
  Registration r = GoodRecord();
  r.bytes[0] = 'X';
  ExpectRefused(r, "signature");
}

TEST_F(RegistryTest, RefusesAWrongVersion) {
  Registration r = GoodRecord();
  r.bytes[4] = 2;
  ExpectRefused(r, "version 2, expected 1");
}

TEST_F(RegistryTest, RefusesAWrongValue) {
  Registration r = GoodRecord();
  r.bytes[8] = 20;
  ExpectRefused(r, "value at offset 8 is 20, expected 21");
}

TEST_F(RegistryTest, RefusesANonZeroFieldTwelve) {
  Registration r = GoodRecord();
  r.bytes[13] = 1;
  ExpectRefused(r, "field at offset 12");
}

TEST_F(RegistryTest, RefusesANullCallback) {
  Registration r = GoodRecord();
  std::memset(r.bytes + 16, 0, 8);
  ExpectRefused(r, "null callback address");
}

TEST_F(RegistryTest, ReservedMembersAreViolations) {
  using NoArgs = EFI_STATUS(EFIAPI*)();
  reinterpret_cast<NoArgs>(platform.Registry().Protocol()->Reserved0)();
  reinterpret_cast<NoArgs>(platform.Registry().Protocol()->Reserved1)();
  ExpectViolation("PlatformCallbackRegistry member 0");
  ExpectViolation("PlatformCallbackRegistry member 1");
}

}  // namespace
