// The package list registered with the HII database: its GUID and handle, package order, and the refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "smbios/board/string_package.h"
#include "smbios/entry/hii_package_list.h"
#include "tests/smbios/entry/entry_test_platform.h"
#include "uefi/status.h"

namespace {

using entry_test::SetupHiiTest;

constexpr EFI_GUID kListGuid = {0xFF5C5473, 0x13A4, 0x4657, {0x83, 0xED, 0x56, 0x65, 0x99, 0xB4, 0xFC, 0x24}};

uint32_t BlobLength(const UINT8* blob) {
  uint32_t n;
  std::memcpy(&n, blob, 4);
  return n;
}

std::vector<UINT8> Blob(std::vector<UINT8> package) {
  uint32_t n = static_cast<uint32_t>(package.size() + 4);
  std::vector<UINT8> blob(n);
  std::memcpy(blob.data(), &n, 4);
  for (size_t i = 0; i < package.size(); ++i) blob[4 + i] = package[i];
  return blob;
}

class RegisterPackageListTest : public SetupHiiTest {};

TEST_F(RegisterPackageListTest, RegistersTheStringPackageUnderTheGivenGuidAndHandle) {
  const UINT8* const blobs[] = {DriverStringPackageBlob, nullptr};
  EFI_HII_HANDLE handle = RegisterPackageList(&kListGuid, platform.ImageHandle(), blobs);
  ASSERT_NE(handle, nullptr);
  ASSERT_EQ(platform.Hii().PackageLists().size(), 1u);
  const sim::HiiPackageList& list = *platform.Hii().PackageLists()[0];
  EXPECT_EQ(list.handle, handle);
  EXPECT_TRUE(GuidEqual(&list.guid, &kListGuid));
  EXPECT_EQ(list.driver_handle, platform.ImageHandle());
  const uint32_t blob = BlobLength(DriverStringPackageBlob);
  ASSERT_EQ(list.bytes.size(), blob - 4 + 24);
  uint32_t package_length;
  std::memcpy(&package_length, list.bytes.data() + 16, 4);
  EXPECT_EQ(package_length, list.bytes.size());
  EXPECT_TRUE(sim_test::BytesEqual(list.bytes.data() + 20, blob - 4, DriverStringPackageBlob + 4, blob - 4));
  const std::vector<uint8_t> end(list.bytes.end() - 4, list.bytes.end());
  EXPECT_EQ(end, (std::vector<uint8_t>{0x04, 0x00, 0x00, 0xDF}));
  ASSERT_EQ(list.packages.size(), 1u);
  EXPECT_EQ(platform.Pool().Stats().live_buffers, 0u);  // the list buffer is released
}

TEST_F(RegisterPackageListTest, PackagesFollowInArgumentOrder) {
  std::vector<UINT8> first = Blob({0x08, 0x00, 0x00, 0xE0, 1, 2, 3, 4});
  std::vector<UINT8> second = Blob({0x06, 0x00, 0x00, 0xE1, 5, 6});
  std::vector<UINT8> empty = Blob({});  // a blob of just its length word adds nothing
  const UINT8* const blobs[] = {first.data(), empty.data(), second.data(), nullptr};
  ASSERT_NE(RegisterPackageList(&kListGuid, platform.ImageHandle(), blobs), nullptr);
  const auto& list = *platform.Hii().PackageLists()[0];
  EXPECT_EQ(list.bytes.size(), 24u + 8u + 6u);
  ASSERT_EQ(list.packages.size(), 2u);
  EXPECT_EQ(list.packages[0].type, 0xE0);
  EXPECT_EQ(list.packages[1].type, 0xE1);
}

TEST_F(RegisterPackageListTest, EmptyPackageRegistersNothing) {
  std::vector<UINT8> empty = Blob({});
  const UINT8* const blobs[] = {empty.data(), nullptr};
  EXPECT_EQ(RegisterPackageList(&kListGuid, platform.ImageHandle(), blobs), nullptr);
  const UINT8* const none[] = {nullptr};
  EXPECT_EQ(RegisterPackageList(&kListGuid, platform.ImageHandle(), none), nullptr);
  EXPECT_TRUE(platform.Hii().PackageLists().empty());
  EXPECT_EQ(platform.Pool().Stats().allocations, 0u);
}

TEST_F(RegisterPackageListTest, BlobShorterThanItsLengthWordIsRefusedBeforeAllocating) {
  std::vector<UINT8> bad = {2, 0, 0, 0};
  const UINT8* const blobs[] = {DriverStringPackageBlob, bad.data(), nullptr};
  EXPECT_EQ(RegisterPackageList(&kListGuid, platform.ImageHandle(), blobs), nullptr);
  EXPECT_EQ(platform.Pool().Stats().allocations, 0u);
}

// The list's PackageLength is a u32: package bytes up to 0xFFFFFFFF minus the header and end package are
// allocated (here refused by the pool), more are refused before allocating, also when two blobs add up to it.
TEST_F(RegisterPackageListTest, AListLongerThanItsLengthFieldIsRefusedBeforeAllocating) {
  auto word = [](uint32_t n) {
    std::vector<UINT8> b(4);
    std::memcpy(b.data(), &n, 4);
    return b;
  };
  platform.FailAllocationsFrom(1);
  struct Row {
    std::vector<std::vector<UINT8>> blobs;
    uint64_t allocations;
  };
  const Row rows[] = {
      {{word(0xFFFFFFE7u + 4)}, 1},  // 0xFFFFFFE7 package bytes: a list of 0xFFFFFFFF
      {{word(0xFFFFFFE8u + 4)}, 0},
      {{word(0xFFFFFFFFu)}, 0},
      {{word(0x80000000u), word(0x80000000u)}, 0},
  };
  for (const Row& row : rows) {
    std::vector<const UINT8*> blobs;
    for (const auto& b : row.blobs) blobs.push_back(b.data());
    blobs.push_back(nullptr);
    uint64_t before = platform.Pool().Stats().allocations;
    EXPECT_EQ(RegisterPackageList(&kListGuid, platform.ImageHandle(), blobs.data()), nullptr);
    EXPECT_EQ(platform.Pool().Stats().allocations - before, row.allocations) << BlobLength(row.blobs[0].data());
  }
  platform.Pool().ClearFailures();
  EXPECT_TRUE(platform.Hii().PackageLists().empty());
}

TEST_F(RegisterPackageListTest, WithoutTheHiiDatabaseNothingIsRegistered) {
  const UINT8* const blobs[] = {DriverStringPackageBlob, nullptr};
  EXPECT_EQ(RegisterPackageList(nullptr, platform.ImageHandle(), blobs), nullptr);       // nor without a GUID
  EXPECT_EQ(RegisterPackageList(&kListGuid, platform.ImageHandle(), nullptr), nullptr);  // or blob list
  *DriverProtocolCache(CachedHiiDatabase) = nullptr;
  EXPECT_EQ(RegisterPackageList(&kListGuid, platform.ImageHandle(), blobs), nullptr);
  EXPECT_EQ(platform.Pool().Stats().allocations, 0u);
}

TEST_F(RegisterPackageListTest, RefusedListGivesNoHandleAndReleasesTheBuffer) {
  const UINT8* const blobs[] = {DriverStringPackageBlob, nullptr};
  ASSERT_NE(RegisterPackageList(&kListGuid, platform.ImageHandle(), blobs), nullptr);
  EXPECT_EQ(RegisterPackageList(&kListGuid, platform.ImageHandle(), blobs), nullptr);  // GUID taken
  ExpectViolation("already registered");
  EXPECT_EQ(platform.Pool().Stats().live_buffers, 0u);
}

TEST_F(RegisterPackageListTest, AllocationFailureGivesNoHandle) {
  const UINT8* const blobs[] = {DriverStringPackageBlob, nullptr};
  platform.FailAllocation(1);
  EXPECT_EQ(RegisterPackageList(&kListGuid, platform.ImageHandle(), blobs), nullptr);
  EXPECT_TRUE(platform.Hii().PackageLists().empty());
}

}  // namespace
