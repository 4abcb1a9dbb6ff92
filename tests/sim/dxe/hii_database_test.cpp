// The HII database's NewPackageList: walked and checked lists, kept copies, handles.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support/platform_checks.h"

namespace {

using sim_test::PlatformTest;

const EFI_GUID kListGuid = {0xAABBCCDD, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

// A list with one GUID package (type 1) of `package_length` bytes, then the end package; `length_field`
// overrides the header's PackageLength when non-zero. (String packages get content checks of their own.)
std::vector<uint8_t> PackageList(uint32_t package_length, uint32_t length_field = 0, bool end = true) {
  std::vector<uint8_t> out(20, 0);
  std::memcpy(out.data(), &kListGuid, 16);
  std::vector<uint8_t> package(package_length, 0x41);
  package[0] = static_cast<uint8_t>(package_length);
  package[1] = static_cast<uint8_t>(package_length >> 8);
  package[2] = static_cast<uint8_t>(package_length >> 16);
  package[3] = 0x01;
  out.insert(out.end(), package.begin(), package.end());
  if (end) out.insert(out.end(), {0x04, 0x00, 0x00, 0xDF});
  const uint32_t length = length_field ? length_field : static_cast<uint32_t>(out.size());
  std::memcpy(out.data() + 16, &length, 4);
  return out;
}

class HiiTest : public PlatformTest {
 protected:
  EFI_STATUS New(const std::vector<uint8_t>& list, EFI_HII_HANDLE* handle) {
    EFI_HII_DATABASE_PROTOCOL* hii = platform.Hii().Protocol();
    return hii->NewPackageList(hii, reinterpret_cast<const EFI_HII_PACKAGE_LIST_HEADER*>(list.data()),
                               platform.ImageHandle(), handle);
  }
};

TEST_F(HiiTest, KeepsACopyAndReturnsAHandle) {
  std::vector<uint8_t> list = PackageList(1068);
  EFI_HII_HANDLE handle = nullptr;
  ASSERT_EQ(New(list, &handle), EFI_SUCCESS);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(list.size(), 1092u);
  std::vector<uint8_t> expected = list;
  std::fill(list.begin(), list.end(), 0);
  const sim::HiiPackageList* kept = platform.Hii().Find(handle);
  ASSERT_NE(kept, nullptr);
  EXPECT_TRUE(sim_test::BytesEqual(kept->bytes, expected));
  ASSERT_EQ(kept->packages.size(), 1u);
  EXPECT_EQ(kept->packages[0].type, 0x01);
  EXPECT_EQ(kept->driver_handle, platform.ImageHandle());
}

TEST_F(HiiTest, RefusesAHeaderLengthThatDisagreesWithThePackages) {
  EFI_HII_HANDLE handle = nullptr;
  std::vector<uint8_t> longer = PackageList(100, 20 + 100 + 4 + 8);
  longer.resize(20 + 100 + 4 + 8, 0);  // the header claims 8 bytes after the end package
  EXPECT_EQ(New(longer, &handle), EFI_INVALID_PARAMETER);
  ExpectViolation("is followed by 8 more bytes");
  EXPECT_EQ(New(PackageList(100, 20 + 50), &handle), EFI_INVALID_PARAMETER);
  ExpectViolation("runs past PackageLength");
  EXPECT_TRUE(platform.Hii().PackageLists().empty());
}

TEST_F(HiiTest, RefusesAListWithoutTheEndPackage) {
  EFI_HII_HANDLE handle = nullptr;
  EXPECT_EQ(New(PackageList(100, 0, false), &handle), EFI_INVALID_PARAMETER);
  ExpectViolation("no end package");
}

TEST_F(HiiTest, RefusesTheSameGuidTwice) {
  EFI_HII_HANDLE handle = nullptr;
  ASSERT_EQ(New(PackageList(8), &handle), EFI_SUCCESS);
  EXPECT_EQ(New(PackageList(8), &handle), EFI_INVALID_PARAMETER);
  ExpectViolation("already registered");
}

}  // namespace
