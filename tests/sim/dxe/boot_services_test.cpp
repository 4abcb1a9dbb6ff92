// Protocol database, loaded image, Stall, runtime services and the unimplemented slots.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/dxe/driver_file_guid.h"
#include "tests/support/platform_checks.h"
#include "uefi/protocols/loaded_image.h"
#include "uefi/protocols/pci_io.h"
#include "uefi/protocols/smbios.h"

namespace {

using sim_test::PlatformTest;

EFI_GUID kTestGuid = {0x12345678, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

class BootServicesTest : public PlatformTest {
 protected:
  EFI_BOOT_SERVICES* bs() { return platform.BootServices(); }
};

TEST_F(BootServicesTest, HandleBufferFollowsInstallationOrder) {
  int a = 0, b = 0, c = 0;
  EFI_HANDLE first = platform.Protocols().NewHandle("first");
  EFI_HANDLE second = platform.Protocols().NewHandle("second");
  EFI_HANDLE third = nullptr;
  // Installed on the second handle first: the order is the installation order, not the creation order.
  ASSERT_EQ(bs()->InstallProtocolInterface(&second, &kTestGuid, 0, &b), EFI_SUCCESS);
  ASSERT_EQ(bs()->InstallProtocolInterface(&first, &kTestGuid, 0, &a), EFI_SUCCESS);
  ASSERT_EQ(bs()->InstallProtocolInterface(&third, &kTestGuid, 0, &c), EFI_SUCCESS);
  ASSERT_NE(third, nullptr);
  UINTN count = 0;
  EFI_HANDLE* handles = nullptr;
  ASSERT_EQ(bs()->LocateHandleBuffer(ByProtocol, &kTestGuid, nullptr, &count, &handles), EFI_SUCCESS);
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(handles[0], second);
  EXPECT_EQ(handles[1], first);
  EXPECT_EQ(handles[2], third);
  EXPECT_TRUE(platform.Pool().IsLive(handles));  // the caller frees it
  VOID* iface = nullptr;
  EXPECT_EQ(bs()->HandleProtocol(handles[1], &kTestGuid, &iface), EFI_SUCCESS);
  EXPECT_EQ(iface, &a);
  EXPECT_EQ(bs()->LocateProtocol(&kTestGuid, nullptr, &iface), EFI_SUCCESS);
  EXPECT_EQ(iface, &b);
  EXPECT_EQ(bs()->FreePool(handles), EFI_SUCCESS);
}

TEST_F(BootServicesTest, UnfreedHandleBufferIsALeak) {
  UINTN count = 0;
  EFI_HANDLE* handles = nullptr;
  EFI_GUID smbios = EFI_SMBIOS_PROTOCOL_GUID;
  ASSERT_EQ(bs()->LocateHandleBuffer(ByProtocol, &smbios, nullptr, &count, &handles), EFI_SUCCESS);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(platform.FinishRun().leaks.size(), 1u);
  ExpectViolation("pool leak");
  bs()->FreePool(handles);
}

TEST_F(BootServicesTest, HandleBufferAllocationCanFail) {
  EFI_GUID smbios = EFI_SMBIOS_PROTOCOL_GUID;
  platform.FailAllocation(1);
  UINTN count = 7;
  EFI_HANDLE* handles = reinterpret_cast<EFI_HANDLE*>(1);
  EXPECT_EQ(bs()->LocateHandleBuffer(ByProtocol, &smbios, nullptr, &count, &handles), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(handles, nullptr);
}

TEST_F(BootServicesTest, NoInstanceMeansNotFound) {
  EFI_GUID pci = EFI_PCI_IO_PROTOCOL_GUID;
  UINTN count = 0;
  EFI_HANDLE* handles = nullptr;
  EXPECT_EQ(bs()->LocateHandleBuffer(ByProtocol, &pci, nullptr, &count, &handles), EFI_NOT_FOUND);
  VOID* iface = reinterpret_cast<VOID*>(1);
  EXPECT_EQ(bs()->LocateProtocol(&pci, nullptr, &iface), EFI_NOT_FOUND);
  EXPECT_EQ(iface, nullptr);
}

TEST_F(BootServicesTest, AbsentProtocolIsNotFoundEverywhere) {
  EFI_GUID smbios = EFI_SMBIOS_PROTOCOL_GUID;
  EFI_GUID loaded = EFI_LOADED_IMAGE_PROTOCOL_GUID;
  platform.MarkProtocolAbsent(smbios);
  platform.MarkProtocolAbsent(loaded);
  VOID* iface = nullptr;
  EXPECT_EQ(bs()->LocateProtocol(&smbios, nullptr, &iface), EFI_NOT_FOUND);
  UINTN count = 0;
  EFI_HANDLE* handles = nullptr;
  EXPECT_EQ(bs()->LocateHandleBuffer(ByProtocol, &smbios, nullptr, &count, &handles), EFI_NOT_FOUND);
  EXPECT_EQ(bs()->HandleProtocol(platform.ImageHandle(), &loaded, &iface), EFI_UNSUPPORTED);
}

TEST_F(BootServicesTest, SameProtocolTwiceOnAHandleIsRefused) {
  int a = 0;
  EFI_HANDLE h = nullptr;
  ASSERT_EQ(bs()->InstallProtocolInterface(&h, &kTestGuid, 0, &a), EFI_SUCCESS);
  EXPECT_EQ(bs()->InstallProtocolInterface(&h, &kTestGuid, 0, &a), EFI_INVALID_PARAMETER);
}

TEST_F(BootServicesTest, LoadedImageFilePathCarriesTheDriverFileGuid) {
  EFI_GUID loaded = EFI_LOADED_IMAGE_PROTOCOL_GUID;
  VOID* iface = nullptr;
  ASSERT_EQ(bs()->HandleProtocol(platform.ImageHandle(), &loaded, &iface), EFI_SUCCESS);
  auto* image = static_cast<EFI_LOADED_IMAGE_PROTOCOL*>(iface);
  EXPECT_EQ(image->SystemTable, platform.SystemTable());
  const auto* node = reinterpret_cast<const uint8_t*>(image->FilePath);
  EXPECT_EQ(node[0], MEDIA_DEVICE_PATH);
  EXPECT_EQ(node[1], MEDIA_PIWG_FW_FILE_DP);
  EXPECT_EQ(node[2], 20);
  const EFI_GUID expected = PLATFORM_SMBIOS_DRIVER_FILE_GUID;
  EXPECT_TRUE(sim_test::BytesEqual(node + 4, 16, &expected, 16));
  EXPECT_EQ(node[20], END_DEVICE_PATH_TYPE);
  EXPECT_EQ(node[21], END_ENTIRE_DEVICE_PATH_SUBTYPE);
  EXPECT_EQ(node[22], 4);
}

TEST_F(BootServicesTest, StallAdvancesTheVirtualClockAndIsCounted) {
  EXPECT_EQ(bs()->Stall(500000), EFI_SUCCESS);
  EXPECT_EQ(bs()->Stall(5), EFI_SUCCESS);
  EXPECT_EQ(platform.Clock().NowMicroseconds(), 500005u);
  EXPECT_EQ(platform.Calls().Get("Stall"), 2u);
  EXPECT_EQ(platform.Summary().virtual_time_us, 500005u);
}

TEST_F(BootServicesTest, UnimplementedSlotReportsItsName) {
  using NoArgs = EFI_STATUS(EFIAPI*)();
  auto create_event = reinterpret_cast<NoArgs>(bs()->CreateEvent);
  EXPECT_EQ(create_event(), EFI_UNSUPPORTED);
  ExpectViolation("BootServices.CreateEvent called");
  auto reset = reinterpret_cast<NoArgs>(platform.RuntimeServices()->ResetSystem);
  reset();
  ExpectViolation("RuntimeServices.ResetSystem called");
}

TEST_F(BootServicesTest, TablesCarryTheirSignaturesAndPointers) {
  EFI_SYSTEM_TABLE* st = platform.SystemTable();
  EXPECT_EQ(st->Hdr.Signature, EFI_SYSTEM_TABLE_SIGNATURE);
  EXPECT_EQ(st->BootServices->Hdr.Signature, EFI_BOOT_SERVICES_SIGNATURE);
  EXPECT_EQ(st->RuntimeServices->Hdr.Signature, EFI_RUNTIME_SERVICES_SIGNATURE);
  EXPECT_EQ(st->BootServices, platform.BootServices());
}

TEST_F(BootServicesTest, DefaultVariableServiceHoldsNothingAndCounts) {
  CHAR16 name[] = u"PSU1";
  UINT8 data[4] = {};
  UINTN size = sizeof data;
  EXPECT_EQ(platform.RuntimeServices()->GetVariable(name, &kTestGuid, nullptr, &size, data), EFI_NOT_FOUND);
  EXPECT_NE(platform.RuntimeServices()->SetVariable(name, &kTestGuid, 7, sizeof data, data), EFI_SUCCESS);
  EXPECT_EQ(platform.Calls().Get("Variables.Unserved"), 1u);
  EXPECT_EQ(platform.Calls().Get("Variables.Refused"), 1u);
}

TEST_F(BootServicesTest, GetTimeFollowsTheVirtualClock) {
  platform.SetTime(EFI_TIME{2026, 12, 31, 23, 59, 30, 0, 0, 0, 0, 0});
  bs()->Stall(45u * 1000000u);
  EFI_TIME t{};
  ASSERT_EQ(platform.RuntimeServices()->GetTime(&t, nullptr), EFI_SUCCESS);
  EXPECT_EQ(t.Year, 2027);
  EXPECT_EQ(t.Month, 1);
  EXPECT_EQ(t.Day, 1);
  EXPECT_EQ(t.Hour, 0);
  EXPECT_EQ(t.Minute, 0);
  EXPECT_EQ(t.Second, 15);
}

}  // namespace
