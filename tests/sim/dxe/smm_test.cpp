// The simulator's SMM services: the SMM system table and pool inside and outside SMM, injected failures.
#include <gtest/gtest.h>

#include "sim/dxe/smm.h"
#include "tests/support/platform_checks.h"

namespace {

class SmmServicesTest : public sim_test::PlatformTest {};

TEST_F(SmmServicesTest, OutsideSmmThereIsNoSystemTableAndNoSmmPool) {
  sim::SmmServices& smm = sim::InstallSmm(platform, false);
  BOOLEAN in = TRUE;
  ASSERT_EQ(smm.Protocol()->InSmm(smm.Protocol(), &in), EFI_SUCCESS);
  EXPECT_EQ(in, FALSE);
  EFI_SMM_SYSTEM_TABLE2* smst = nullptr;
  EXPECT_EQ(smm.Protocol()->GetSmstLocation(smm.Protocol(), &smst), EFI_UNSUPPORTED);
  EXPECT_EQ(smst, nullptr);
  void* buffer = nullptr;
  EXPECT_EQ(smm.SystemTable()->SmmAllocatePool(EfiRuntimeServicesData, 16, &buffer), EFI_UNSUPPORTED);
  ExpectViolation("outside SMM");
}

TEST_F(SmmServicesTest, InsideSmmThePoolTakesOnlySmramTypesAndKnowsItsBuffers) {
  sim::SmmServices& smm = sim::InstallSmm(platform, true);
  EFI_SMM_SYSTEM_TABLE2* smst = nullptr;
  ASSERT_EQ(smm.Protocol()->GetSmstLocation(smm.Protocol(), &smst), EFI_SUCCESS);
  void* buffer = nullptr;
  EXPECT_EQ(smst->SmmAllocatePool(EfiBootServicesData, 16, &buffer), EFI_INVALID_PARAMETER);
  ExpectViolation("pool type 4");
  ASSERT_EQ(smst->SmmAllocatePool(EfiRuntimeServicesData, 16, &buffer), EFI_SUCCESS);
  EXPECT_EQ(platform.Pool().Find(buffer)->type, EfiRuntimeServicesData);
  void* other = nullptr;
  ASSERT_EQ(platform.Pool().Allocate(EfiBootServicesData, 8, &other), EFI_SUCCESS);
  EXPECT_EQ(smst->SmmFreePool(other), EFI_INVALID_PARAMETER);
  ExpectViolation("SmmAllocatePool did not hand out");
  EXPECT_EQ(smst->SmmFreePool(buffer), EFI_SUCCESS);
  platform.Pool().Free(other);
}

TEST_F(SmmServicesTest, SmmBufferReleasedWithFreePoolIsReported) {
  sim::SmmServices& smm = sim::InstallSmm(platform, true);
  void* buffer = nullptr;
  ASSERT_EQ(smm.SystemTable()->SmmAllocatePool(EfiRuntimeServicesData, 16, &buffer), EFI_SUCCESS);
  platform.BootServices()->FreePool(buffer);
  platform.FinishRun();
  ExpectViolation("released with the boot-services FreePool");
}

TEST_F(SmmServicesTest, InjectedPoolFailuresReachTheSmmPool) {
  sim::SmmServices& smm = sim::InstallSmm(platform, true);
  platform.FailAllocation(1);
  void* buffer = nullptr;
  EXPECT_TRUE(EFI_ERROR(smm.SystemTable()->SmmAllocatePool(EfiRuntimeServicesData, 16, &buffer)));
}

}  // namespace
