// Finding the PEI services through the IDT and looking PPIs up, against the simulated PEI core.
#include <gtest/gtest.h>

#include "sim/pei/pei_platform.h"
#include "trace/listener/pei_services.h"
#include "uefi/protocols/pcd_ppi.h"
#include "uefi/status.h"

namespace {

constexpr EFI_GUID kTestPpiGuid = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr EFI_GUID kOtherPpiGuid = {0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 9}};

TEST(PeiServicesPointer, ComesFromTheWordBelowTheIdtBase) {
  sim::PeiPlatform platform;
  const EFI_PEI_SERVICES** services = GetPeiServicesPointer();
  ASSERT_EQ(services, platform.services_pointer());
  EXPECT_EQ((*services)->Hdr.Signature, PEI_SERVICES_SIGNATURE);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(services),
            *reinterpret_cast<const uintptr_t*>(platform.idt_base() - sizeof(uintptr_t)));
}

TEST(PeiServicesPointer, IsNullWithoutAnIdtBase) {
  sim::PeiPlatform platform;
  platform.set_idt_base(0);
  EXPECT_EQ(GetPeiServicesPointer(), nullptr);
}

TEST(PeiServicesLayout, LocatePpiSitsAfterTwoServicesBehindTheHeader) {
  EXPECT_EQ(__builtin_offsetof(EFI_PEI_SERVICES, InstallPpi), 24u);
  EXPECT_EQ(__builtin_offsetof(EFI_PEI_SERVICES, LocatePpi), 24u + 2 * sizeof(void*));
}

class LocatePpiByGuidTest : public ::testing::Test {
 protected:
  sim::PeiPlatform platform;
  int ppi_storage = 0;
};

TEST_F(LocatePpiByGuidTest, FindsAnInstalledPpiWithOneLocateCall) {
  platform.ppis().Install(kTestPpiGuid, &ppi_storage);
  VOID* ppi = nullptr;
  LocatePpiByGuid(&kTestPpiGuid, &ppi);
  EXPECT_EQ(ppi, &ppi_storage);
  EXPECT_EQ(platform.ppis().LocateCalls(kTestPpiGuid), 1u);
  EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined();
}

TEST_F(LocatePpiByGuidTest, AMissingPpiLeavesThePointerAsTheCallerSetIt) {
  platform.ppis().Install(kTestPpiGuid, &ppi_storage);
  VOID* ppi = &ppi_storage;
  LocatePpiByGuid(&kOtherPpiGuid, &ppi);
  EXPECT_EQ(ppi, &ppi_storage);
  EXPECT_EQ(platform.ppis().LocateMisses(), 1u);
  VOID* preset_null = nullptr;  // what both callers of the module do
  LocatePpiByGuid(&kOtherPpiGuid, &preset_null);
  EXPECT_EQ(preset_null, nullptr);
}

TEST_F(LocatePpiByGuidTest, ANullResultPointerCallsNothing) {
  platform.ppis().Install(kTestPpiGuid, &ppi_storage);
  LocatePpiByGuid(&kTestPpiGuid, nullptr);
  EXPECT_EQ(platform.ppis().LocateCalls(), 0u);
}

TEST_F(LocatePpiByGuidTest, NoServicesTableLeavesThePointerAndCallsNothing) {
  platform.set_idt_base(0);
  VOID* ppi = &ppi_storage;
  LocatePpiByGuid(&gPcdPpiGuid, &ppi);
  EXPECT_EQ(ppi, &ppi_storage);
  EXPECT_EQ(platform.ppis().LocateCalls(), 0u);
}

TEST_F(LocatePpiByGuidTest, AServicesTableWithoutLocatePpiLeavesThePointer) {
  platform.ppis().Install(kTestPpiGuid, &ppi_storage);
  const_cast<EFI_PEI_SERVICES*>(*platform.services_pointer())->LocatePpi = nullptr;
  VOID* ppi = nullptr;
  LocatePpiByGuid(&kTestPpiGuid, &ppi);
  EXPECT_EQ(ppi, nullptr);
}

TEST_F(LocatePpiByGuidTest, ANullServicesPointerBelowTheIdtLeavesThePointer) {
  *reinterpret_cast<uintptr_t*>(platform.idt_base() - sizeof(uintptr_t)) = 0;
  VOID* ppi = &ppi_storage;
  LocatePpiByGuid(&gPcdPpiGuid, &ppi);
  EXPECT_EQ(ppi, &ppi_storage);
  EXPECT_EQ(platform.ppis().LocateCalls(), 0u);
}

TEST_F(LocatePpiByGuidTest, ThePcdPpiIsInstalledByDefault) {
  VOID* ppi = nullptr;
  LocatePpiByGuid(&gPcdPpiGuid, &ppi);
  ASSERT_EQ(ppi, platform.pcds().ppi());
  EXPECT_EQ(static_cast<PCD_PPI*>(ppi)->Get64(44), 0x80000000u);
}

}  // namespace
