// Sizes and member offsets of the project's UEFI/PI definitions, for the width of the half being built.
#include <cstddef>

#include <gtest/gtest.h>

#include "regaccess/register_address.h"
#include "uefi/pei_services.h"
#include "uefi/status.h"
#include "uefi/system_table.h"

namespace {

constexpr size_t kPtr = sizeof(void*);

TEST(StatusValues, ErrorBitIsTheTopBitOfTheNaturalWidth) {
  if (kPtr == 8) {
    EXPECT_EQ(EFI_NOT_FOUND, static_cast<EFI_STATUS>(0x800000000000000Eull));
    EXPECT_EQ(EFI_TIMEOUT, static_cast<EFI_STATUS>(0x8000000000000012ull));
  } else {
    EXPECT_EQ(EFI_INVALID_PARAMETER, static_cast<EFI_STATUS>(0x80000002u));
    EXPECT_EQ(EFI_UNSUPPORTED, static_cast<EFI_STATUS>(0x80000003u));
  }
  EXPECT_TRUE(EFI_ERROR(EFI_ACCESS_DENIED));
  EXPECT_FALSE(EFI_ERROR(EFI_SUCCESS));
}

TEST(BootServicesLayout, MembersSitAtTheirPublishedPositions) {
  // Position n (counted after the 24-byte header) lies at 24 + n pointers.
  EXPECT_EQ(offsetof(EFI_BOOT_SERVICES, AllocatePool), 24 + 5 * kPtr);
  EXPECT_EQ(offsetof(EFI_BOOT_SERVICES, FreePool), 24 + 6 * kPtr);
  EXPECT_EQ(offsetof(EFI_BOOT_SERVICES, HandleProtocol), 24 + 16 * kPtr);
  EXPECT_EQ(offsetof(EFI_BOOT_SERVICES, Stall), 24 + 28 * kPtr);
  EXPECT_EQ(offsetof(EFI_BOOT_SERVICES, LocateHandleBuffer), 24 + 36 * kPtr);
  EXPECT_EQ(offsetof(EFI_BOOT_SERVICES, LocateProtocol), 24 + 37 * kPtr);
  EXPECT_EQ(sizeof(EFI_BOOT_SERVICES), 24 + 44 * kPtr);
}

TEST(RuntimeServicesLayout, VariableServicesSitAtTheirPublishedPositions) {
  EXPECT_EQ(offsetof(EFI_RUNTIME_SERVICES, GetTime), 24u);
  EXPECT_EQ(offsetof(EFI_RUNTIME_SERVICES, GetVariable), 24 + 6 * kPtr);
  EXPECT_EQ(offsetof(EFI_RUNTIME_SERVICES, SetVariable), 24 + 8 * kPtr);
  EXPECT_EQ(sizeof(EFI_RUNTIME_SERVICES), 24 + 14 * kPtr);
}

TEST(SystemTableLayout, ServiceTablePointersFollowTheConsoles) {
  if (kPtr == 8) {
    EXPECT_EQ(offsetof(EFI_SYSTEM_TABLE, RuntimeServices), 88u);
    EXPECT_EQ(offsetof(EFI_SYSTEM_TABLE, BootServices), 96u);
    EXPECT_EQ(sizeof(EFI_SYSTEM_TABLE), 120u);
  } else {
    EXPECT_EQ(offsetof(EFI_SYSTEM_TABLE, RuntimeServices), 56u);
    EXPECT_EQ(offsetof(EFI_SYSTEM_TABLE, BootServices), 60u);
    EXPECT_EQ(sizeof(EFI_SYSTEM_TABLE), 72u);
  }
}

TEST(PeiServicesLayout, PpiServicesFollowTheHeader) {
  if (kPtr == 4) {
    EXPECT_EQ(offsetof(EFI_PEI_SERVICES, InstallPpi), 0x18u);
    EXPECT_EQ(offsetof(EFI_PEI_SERVICES, ReInstallPpi), 0x1Cu);
    EXPECT_EQ(offsetof(EFI_PEI_SERVICES, LocatePpi), 0x20u);
    EXPECT_EQ(sizeof(EFI_PEI_PPI_DESCRIPTOR), 12u);
  } else {
    EXPECT_EQ(offsetof(EFI_PEI_SERVICES, LocatePpi), 24 + 2 * kPtr);
  }
  EXPECT_EQ(offsetof(EFI_PEI_SERVICES, PciCfg), 24 + 19 * kPtr);
}

TEST(RegisterAddressLayout, IsFourWordsWhateverTheHalf) {
  EXPECT_EQ(sizeof(RegisterAddress), 16u);
  EXPECT_EQ(offsetof(RegisterAddress, Attribute), 8u);
  EXPECT_EQ(offsetof(RegisterAddress, Context), 12u);
}

TEST(TimeLayout, FieldsTheFormatterReads) {
  EXPECT_EQ(offsetof(EFI_TIME, Month), 2u);
  EXPECT_EQ(offsetof(EFI_TIME, Minute), 5u);
  EXPECT_EQ(offsetof(EFI_TIME, Nanosecond), 8u);
}

}  // namespace
