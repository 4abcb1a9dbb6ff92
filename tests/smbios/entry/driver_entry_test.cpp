// The entry sequence: configuration values, the callback registration, and entry without its services.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sim/dxe/driver_file_guid.h"
#include "sim/dxe/protocol_names.h"
#include "smbios/entry/publish_board_smbios.h"
#include "tests/smbios/entry/entry_test_platform.h"
#include "uefi/status.h"

namespace {

using entry_test::EntryTest;

std::vector<uint8_t> LayoutBytes() {
  auto* p = reinterpret_cast<const uint8_t*>(DriverSocketBusLayout());
  return {p, p + sizeof(SocketBusLayoutRecord)};
}

TEST_F(EntryTest, RegistersThePublishCallbackOnceWithItsRecord) {
  std::memset(DriverCallbackRegistration(), 0xFF, sizeof(CallbackRegistration));  // whatever it held before
  ASSERT_EQ(Enter(), EFI_SUCCESS);
  EXPECT_EQ(platform.Registry().Registrations(), 1u);
  EXPECT_TRUE(platform.Registry().Refusals().empty());
  const CallbackRegistration& r = *DriverCallbackRegistration();
  EXPECT_EQ(std::memcmp(&r.Signature, "PSMB", 4), 0);
  EXPECT_EQ(r.Version, 1u);
  EXPECT_EQ(r.Value, 21u);
  EXPECT_EQ(r.Reserved, 0u);
  EXPECT_EQ(r.Callback, reinterpret_cast<UINT64>(&PublishBoardSmbios));
}

TEST_F(EntryTest, KeepsTheServicePointersAndConfigurationValues) {
  ASSERT_EQ(Enter(), EFI_SUCCESS);
  EXPECT_EQ(DriverImageHandle(), platform.ImageHandle());
  EXPECT_EQ(DriverSystemTable(), platform.SystemTable());
  EXPECT_EQ(DriverBootServices(), platform.BootServices());
  EXPECT_EQ(DriverRuntimeServices(), platform.RuntimeServices());
  EXPECT_NE(*DriverProtocolCache(CachedPcd), nullptr);
  EXPECT_EQ(*DriverProtocolCache(CachedHiiDatabase), platform.Hii().Protocol());
  EXPECT_EQ(DriverEcamBase(), driver_test::kEcam);
  EXPECT_EQ(LayoutBytes(), entry_test::UnprobedLayout());
}

TEST_F(EntryTest, ShorterLayoutValueFillsOnlyItsBytes) {
  platform.Pcd().SetPointer(sim::kPcdSocketBusLayout, {1, 0, 0, 0, 0x03});
  ASSERT_EQ(Enter(), EFI_SUCCESS);
  std::vector<uint8_t> expected(72, 0);
  expected[0] = 1;
  expected[4] = 3;
  EXPECT_EQ(LayoutBytes(), expected);
}

TEST_F(EntryTest, EmptyLayoutValueLeavesTheLayoutInvalid) {
  platform.Pcd().SetPointer(sim::kPcdSocketBusLayout, {});
  ASSERT_EQ(Enter(), EFI_SUCCESS);
  EXPECT_EQ(LayoutBytes(), std::vector<uint8_t>(72, 0));
  EXPECT_EQ(DriverSocketBusLayout()->Valid, 0);
}

// A value longer than the record is cut at 72 bytes. The fields after the record stay untouched: with the
// HII database and loaded image absent, nothing else writes them before entry returns.
// A PCD service that answers a size for the layout but no value: the layout stays zero (not valid).
VOID* EFIAPI NoPointer(UINTN) { return nullptr; }

TEST_F(EntryTest, LayoutSizeWithoutAValueLeavesTheLayoutInvalid) {
  platform.Pcd().SetPointer(sim::kPcdSocketBusLayout, std::vector<uint8_t>(72, 1));
  PCD_PROTOCOL pcd = *platform.Pcd().Protocol();
  pcd.GetPtr = &NoPointer;
  *DriverProtocolCache(CachedPcd) = &pcd;
  ASSERT_EQ(Enter(), EFI_SUCCESS);
  EXPECT_EQ(LayoutBytes(), std::vector<uint8_t>(72, 0));
}

TEST_F(EntryTest, LongerLayoutValueIsCutAtTheRecord) {
  std::vector<uint8_t> long_value(100, 0xEE);
  for (size_t i = 0; i < 72; ++i) long_value[i] = static_cast<uint8_t>(i + 1);
  platform.Pcd().SetPointer(sim::kPcdSocketBusLayout, long_value);
  platform.MarkProtocolAbsent(*sim::ProtocolGuidByName("hii"));
  platform.MarkProtocolAbsent(*sim::ProtocolGuidByName("loaded_image"));
  EXPECT_TRUE(EFI_ERROR(Enter()));
  EXPECT_EQ(LayoutBytes(), std::vector<uint8_t>(long_value.begin(), long_value.begin() + 72));
  EXPECT_EQ(*DriverProtocolCache(CachedHiiDatabase), nullptr);
  EXPECT_EQ(DriverHiiHandle(), nullptr);
}

TEST_F(EntryTest, WithoutThePcdProtocolEntryFailsCleanly) {
  platform.MarkProtocolAbsent(*sim::ProtocolGuidByName("pcd"));
  EXPECT_EQ(Enter(), EFI_NOT_FOUND);
  EXPECT_EQ(platform.Registry().Registrations(), 0u);
  EXPECT_EQ(platform.Pool().Stats().allocations, 0u);
  EXPECT_TRUE(platform.Hii().PackageLists().empty());
}

TEST_F(EntryTest, WithoutTheLoadedImageNothingIsRegistered) {
  platform.MarkProtocolAbsent(*sim::ProtocolGuidByName("loaded_image"));
  EXPECT_EQ(Enter(), EFI_UNSUPPORTED) << "the handle lookup's status";
  EXPECT_EQ(platform.Registry().Registrations(), 0u);
  EXPECT_TRUE(platform.Hii().PackageLists().empty());
}

EFI_STATUS EFIAPI NoInterface(EFI_HANDLE, EFI_GUID*, VOID** interface) {
  *interface = nullptr;
  return EFI_SUCCESS;
}

TEST_F(EntryTest, ALoadedImageLookupWithoutAnInterfaceRegistersNothing) {
  platform.BootServices()->HandleProtocol = &NoInterface;
  EXPECT_EQ(Enter(), EFI_NOT_FOUND);
  EXPECT_EQ(platform.Registry().Registrations(), 0u);
  EXPECT_TRUE(platform.Hii().PackageLists().empty());
}

TEST_F(EntryTest, WithoutASystemTableOrItsBootServicesEntryIsRefused) {
  EFI_SYSTEM_TABLE* attached = DriverSystemTable();
  EXPECT_EQ(PlatformSmbiosDriverEntry(platform.ImageHandle(), nullptr), EFI_INVALID_PARAMETER);
  EFI_SYSTEM_TABLE table = *platform.SystemTable();
  table.BootServices = nullptr;
  EXPECT_EQ(PlatformSmbiosDriverEntry(platform.ImageHandle(), &table), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DriverSystemTable(), attached) << "the module state is left as it was";
  EXPECT_EQ(platform.Registry().Registrations(), 0u);
}

TEST_F(EntryTest, WithoutTheRegistryEntryAnswersTheLookupStatus) {
  platform.MarkProtocolAbsent(*sim::ProtocolGuidByName("registry"));
  EXPECT_EQ(Enter(), EFI_NOT_FOUND);
  EXPECT_EQ(platform.Registry().Registrations(), 0u);
  EXPECT_EQ(DriverSlotTable()->Count, SlotTableCapacity);  // the board tables were built before
}

TEST_F(EntryTest, PackageListIsNamedByTheDriverFileGuid) {
  const EFI_GUID file = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
  platform.SetImageFileGuid(file);
  ASSERT_EQ(Enter(), EFI_SUCCESS);
  ASSERT_EQ(platform.Hii().PackageLists().size(), 1u);
  EXPECT_TRUE(GuidEqual(&platform.Hii().PackageLists()[0]->guid, &file));
  EXPECT_EQ(DriverHiiHandle(), platform.Hii().PackageLists()[0]->handle);
}

TEST_F(EntryTest, ImageWithoutFilePathSkipsOnlyThePackage) {
  platform.LoadedImage()->FilePath = nullptr;
  ASSERT_EQ(Enter(), EFI_SUCCESS);
  EXPECT_TRUE(platform.Hii().PackageLists().empty());
  EXPECT_EQ(platform.Registry().Registrations(), 1u);
}

// A first node of 19 bytes is one short of the file name GUID's end: no package either.
TEST_F(EntryTest, FilePathNodeTooShortForTheGuidSkipsOnlyThePackage) {
  alignas(8) uint8_t node[24] = {0x04, 0x06, 19, 0};
  platform.LoadedImage()->FilePath = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(node);
  ASSERT_EQ(Enter(), EFI_SUCCESS);
  EXPECT_TRUE(platform.Hii().PackageLists().empty());
  EXPECT_EQ(platform.Registry().Registrations(), 1u);
}

// A registry found earlier is used as it is, and its status becomes the entry point's status.
struct FakeRegistry {
  PLATFORM_CALLBACK_REGISTRY protocol{};
  static inline EFI_GUID key{};
  static inline std::vector<uint8_t> record;
  static EFI_STATUS EFIAPI Register(PLATFORM_CALLBACK_REGISTRY*, EFI_GUID* Key, VOID* Record, UINTN Size) {
    key = *Key;
    auto* p = static_cast<const uint8_t*>(Record);
    record.assign(p, p + Size);
    return EFI_ACCESS_DENIED;
  }
};

TEST_F(EntryTest, RegistryStatusIsTheEntryStatus) {
  FakeRegistry fake;
  fake.protocol.Register = &FakeRegistry::Register;
  *DriverProtocolCache(CachedCallbackRegistry) = &fake.protocol;
  EXPECT_EQ(Enter(), EFI_ACCESS_DENIED);
  const EFI_GUID publish_point = SMBIOS_PUBLISH_POINT_GUID;
  EXPECT_TRUE(GuidEqual(&FakeRegistry::key, &publish_point));
  ASSERT_EQ(FakeRegistry::record.size(), 24u);
  const uint8_t head[16] = {'P', 'S', 'M', 'B', 1, 0, 0, 0, 21, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(sim_test::BytesEqual(FakeRegistry::record.data(), 16, head, 16));
  UINT64 callback;
  std::memcpy(&callback, FakeRegistry::record.data() + 16, 8);
  EXPECT_EQ(callback, reinterpret_cast<UINT64>(&PublishBoardSmbios));
  EXPECT_EQ(platform.Registry().Registrations(), 0u);
}

}  // namespace
