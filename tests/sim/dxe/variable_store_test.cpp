// The variable store behind GetVariable/SetVariable: UEFI semantics through the platform's runtime services.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sim/dxe/variable_store.h"
#include "tests/support/platform_checks.h"

namespace {

EFI_GUID Vendor() { return {0x2D667ED8, 0xA97C, 0x49C1, {0xAE, 0x0F, 0x40, 0x97, 0x36, 0xE2, 0x5B, 0xF4}}; }
constexpr UINT32 kNvBs = EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS;

class VariableStoreTest : public sim_test::PlatformTest {
 protected:
  void SetUp() override {
    store = &sim::PlatformVariableStore(platform);
    rt = platform.RuntimeServices();
  }
  EFI_STATUS Set(const char16_t* name, UINT32 attributes, std::vector<uint8_t> data) {
    EFI_GUID guid = Vendor();
    return rt->SetVariable(const_cast<CHAR16*>(name), &guid, attributes, data.size(), data.data());
  }
  sim::VariableStore* store = nullptr;
  EFI_RUNTIME_SERVICES* rt = nullptr;
};

TEST_F(VariableStoreTest, PlatformKeepsTheStoreItPluggedIn) { EXPECT_EQ(&sim::PlatformVariableStore(platform), store); }

TEST_F(VariableStoreTest, ReadBackGivesDataSizeAndAttributes) {
  ASSERT_EQ(Set(u"PSU1", kNvBs, {1, 2, 3}), EFI_SUCCESS);
  EFI_GUID guid = Vendor();
  uint8_t data[8] = {};
  UINTN size = sizeof(data);
  UINT32 attributes = 0;
  ASSERT_EQ(rt->GetVariable(const_cast<CHAR16*>(u"PSU1"), &guid, &attributes, &size, data), EFI_SUCCESS);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(attributes, kNvBs);
  EXPECT_EQ(data[2], 3);
  EXPECT_EQ(data[3], 0);
}

TEST_F(VariableStoreTest, SmallBufferGetsBufferTooSmallWithTheSizeNeededAndNothingWritten) {
  store->Put(u"Big", Vendor(), kNvBs, std::vector<uint8_t>(200, 0x55));
  EFI_GUID guid = Vendor();
  std::vector<uint8_t> data(128, 0);
  UINTN size = data.size();
  EXPECT_EQ(rt->GetVariable(const_cast<CHAR16*>(u"Big"), &guid, nullptr, &size, data.data()), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 200u);
  EXPECT_EQ(data[0], 0);
}

TEST_F(VariableStoreTest, MissingVariableIsNotFoundAndLeavesTheSize) {
  EFI_GUID guid = Vendor();
  uint8_t data[4];
  UINTN size = 4;
  EXPECT_EQ(rt->GetVariable(const_cast<CHAR16*>(u"PSU2"), &guid, nullptr, &size, data), EFI_NOT_FOUND);
  EXPECT_EQ(size, 4u);
  // Same name, other vendor: a different variable.
  store->Put(u"PSU2", EFI_GUID{}, kNvBs, {1});
  EXPECT_EQ(rt->GetVariable(const_cast<CHAR16*>(u"PSU2"), &guid, nullptr, &size, data), EFI_NOT_FOUND);
}

TEST_F(VariableStoreTest, BadArgumentsAreInvalidParameter) {
  store->Put(u"V", Vendor(), kNvBs, {1, 2});
  EFI_GUID guid = Vendor();
  UINTN size = 2;
  EXPECT_EQ(rt->GetVariable(const_cast<CHAR16*>(u"V"), &guid, nullptr, nullptr, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(rt->GetVariable(const_cast<CHAR16*>(u"V"), &guid, nullptr, &size, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(rt->GetVariable(nullptr, &guid, nullptr, &size, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Set(u"", kNvBs, {1}), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Set(u"R", EFI_VARIABLE_RUNTIME_ACCESS, {1}), EFI_INVALID_PARAMETER);
  EXPECT_EQ(Set(u"A", kNvBs | 0x40, {1}), EFI_UNSUPPORTED);
}

TEST_F(VariableStoreTest, ExistingVariableKeepsItsAttributes) {
  ASSERT_EQ(Set(u"V", kNvBs, {1}), EFI_SUCCESS);
  EXPECT_EQ(Set(u"V", EFI_VARIABLE_BOOTSERVICE_ACCESS, {2}), EFI_INVALID_PARAMETER);
  ASSERT_EQ(Set(u"V", kNvBs, {3, 4}), EFI_SUCCESS);
  EXPECT_EQ(store->Find(u"V", Vendor())->data, (std::vector<uint8_t>{3, 4}));
}

TEST_F(VariableStoreTest, SizeZeroDeletes) {
  ASSERT_EQ(Set(u"V", kNvBs, {1}), EFI_SUCCESS);
  ASSERT_EQ(Set(u"V", kNvBs, {}), EFI_SUCCESS);
  EXPECT_EQ(store->Find(u"V", Vendor()), nullptr);
  EXPECT_EQ(Set(u"V", kNvBs, {}), EFI_NOT_FOUND);
}

TEST_F(VariableStoreTest, FaultSwitchesRefuseWrites) {
  store->SetCapacity(4);
  EXPECT_EQ(Set(u"V", kNvBs, {1, 2, 3, 4, 5}), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(Set(u"V", kNvBs, {1, 2, 3, 4}), EFI_SUCCESS);
  store->SetWriteProtected(true);
  EXPECT_EQ(Set(u"W", kNvBs, {1}), EFI_WRITE_PROTECTED);
  EXPECT_EQ(store->Find(u"W", Vendor()), nullptr);
}

TEST_F(VariableStoreTest, LogCountsReadsAndWritesByName) {
  ASSERT_EQ(Set(u"PSU1", kNvBs, {1}), EFI_SUCCESS);
  EFI_GUID guid = Vendor();
  uint8_t data[1];
  UINTN size = 1;
  rt->GetVariable(const_cast<CHAR16*>(u"PSU1"), &guid, nullptr, &size, data);
  rt->GetVariable(const_cast<CHAR16*>(u"PSU1"), &guid, nullptr, &size, data);
  EXPECT_EQ(store->Writes(u"PSU1"), 1u);
  EXPECT_EQ(store->Reads(u"PSU1"), 2u);
  EXPECT_EQ(store->Log().back().status, EFI_SUCCESS);
}

}  // namespace
