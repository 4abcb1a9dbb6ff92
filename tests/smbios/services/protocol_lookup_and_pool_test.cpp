// Protocol lookups and pool buffers: the answers of a failing or misbehaving service are never passed on, and
// before the driver has its boot services nothing is asked of them.
#include <gtest/gtest.h>

#include "smbios/entry/driver_state.h"
#include "smbios/services/pool.h"
#include "smbios/services/protocol_lookup.h"
#include "tests/support/driver_test_platform.h"
#include "uefi/protocols/smbios.h"
#include "uefi/status.h"

namespace {

constexpr EFI_GUID kSmbiosGuid = EFI_SMBIOS_PROTOCOL_GUID;
VOID* const kStale = reinterpret_cast<VOID*>(0x1234);

// Services that fail but still write an interface, and one that succeeds without one.
EFI_STATUS EFIAPI LocateFailsWithAnInterface(EFI_GUID*, VOID*, VOID** interface) {
  *interface = kStale;
  return EFI_DEVICE_ERROR;
}
EFI_STATUS EFIAPI LocateSucceedsWithoutAnInterface(EFI_GUID*, VOID*, VOID** interface) {
  *interface = nullptr;
  return EFI_SUCCESS;
}
EFI_STATUS EFIAPI HandleFailsWithAnInterface(EFI_HANDLE, EFI_GUID*, VOID** interface) {
  *interface = kStale;
  return EFI_UNSUPPORTED;
}

class ProtocolLookupTest : public driver_test::DriverTest {};

TEST_F(ProtocolLookupTest, AFailedLookupAnswersItsStatusAndNoInterface) {
  platform.MarkProtocolAbsent(kSmbiosGuid);
  VOID* interface = kStale;
  EXPECT_EQ(LocateProtocolInterface(&kSmbiosGuid, &interface), EFI_NOT_FOUND);
  EXPECT_EQ(interface, nullptr);

  platform.BootServices()->LocateProtocol = &LocateFailsWithAnInterface;
  interface = kStale;
  EXPECT_EQ(LocateProtocolInterface(&kSmbiosGuid, &interface), EFI_DEVICE_ERROR);
  EXPECT_EQ(interface, nullptr);
  VOID* cache = nullptr;
  EXPECT_EQ(LocateCachedProtocol(&kSmbiosGuid, &cache), EFI_DEVICE_ERROR);
  EXPECT_EQ(cache, nullptr);

  platform.BootServices()->LocateProtocol = &LocateSucceedsWithoutAnInterface;
  interface = kStale;
  EXPECT_EQ(LocateProtocolInterface(&kSmbiosGuid, &interface), EFI_NOT_FOUND);
  EXPECT_EQ(interface, nullptr);
}

TEST_F(ProtocolLookupTest, AFailedHandleLookupAnswersItsStatusAndNoInterface) {
  VOID* interface = kStale;
  EXPECT_EQ(HandleProtocolInterface(platform.ImageHandle(), &kSmbiosGuid, &interface), EFI_UNSUPPORTED);
  EXPECT_EQ(interface, nullptr);
  platform.BootServices()->HandleProtocol = &HandleFailsWithAnInterface;
  interface = kStale;
  EXPECT_EQ(HandleProtocolInterface(platform.ImageHandle(), &kSmbiosGuid, &interface), EFI_UNSUPPORTED);
  EXPECT_EQ(interface, nullptr);
}

TEST_F(ProtocolLookupTest, FreeingNullFreesNothingAndAZeroSizedBufferIsNotTouched) {
  uint64_t frees = platform.Calls().Get("FreePool");
  FreeBuffer(nullptr);
  EXPECT_EQ(platform.Calls().Get("FreePool"), frees);
  VOID* empty = AllocateZeroed(0);
  ASSERT_NE(empty, nullptr);
  FreeBuffer(empty);
  EXPECT_EQ(platform.Calls().Get("FreePool"), frees + 1);
  EXPECT_EQ(platform.Pool().Stats().live_buffers, 0u);
}

// Attached to no system table: no boot services, so nothing is asked of them (and nothing freed).
TEST_F(ProtocolLookupTest, WithoutBootServicesNothingIsAskedAndNothingIsGiven) {
  VOID* buffer = AllocateBuffer(16);
  ASSERT_NE(buffer, nullptr);
  DriverAttach(platform.ImageHandle(), nullptr);
  EXPECT_EQ(DriverBootServices(), nullptr);
  EXPECT_EQ(DriverRuntimeServices(), nullptr);
  FreeBuffer(buffer);
  EXPECT_EQ(platform.Calls().Get("FreePool"), 0u);
  platform.Pool().Free(buffer);
  VOID* interface = kStale;
  EXPECT_EQ(LocateProtocolInterface(&kSmbiosGuid, &interface), EFI_NOT_READY);
  EXPECT_EQ(interface, nullptr);
  interface = kStale;
  EXPECT_EQ(HandleProtocolInterface(platform.ImageHandle(), &kSmbiosGuid, &interface), EFI_NOT_READY);
  EXPECT_EQ(interface, nullptr);
  EXPECT_EQ(AllocateBuffer(16), nullptr);
  EXPECT_EQ(AllocateZeroed(16), nullptr);
  EXPECT_EQ(platform.Calls().Get("LocateProtocol"), 0u);
  EXPECT_EQ(platform.Calls().Get("HandleProtocol"), 0u);
  EXPECT_EQ(platform.Calls().Get("AllocatePool"), 1u);  // the buffer taken before
}

}  // namespace
