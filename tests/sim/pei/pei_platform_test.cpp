// The simulated PEI core: PPI database through the services table, PCD PPI, unprovided services.
#include <gtest/gtest.h>

#include "hw/mmio.h"
#include "sim/pei/pei_platform.h"
#include "uefi/protocols/pcd_ppi.h"
#include "uefi/status.h"

namespace {

EFI_GUID kFirstGuid = {0xAAAA0001, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
EFI_GUID kSecondGuid = {0xAAAA0002, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

TEST(PeiPpiDatabase, InstallPpiThroughTheTableInstallsEveryDescriptorOfTheList) {
  sim::PeiPlatform platform;
  const EFI_PEI_SERVICES** services = platform.services_pointer();
  int a = 0, b = 0;
  EFI_PEI_PPI_DESCRIPTOR list[2] = {
      {EFI_PEI_PPI_DESCRIPTOR_PPI, &kFirstGuid, &a},
      {EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, &kSecondGuid, &b}};
  ASSERT_EQ((*services)->InstallPpi(services, list), EFI_SUCCESS);

  VOID* found = nullptr;
  EFI_PEI_PPI_DESCRIPTOR* descriptor = nullptr;
  EXPECT_EQ((*services)->LocatePpi(services, &kSecondGuid, 0, &descriptor, &found), EFI_SUCCESS);
  EXPECT_EQ(found, &b);
  EXPECT_EQ(descriptor, &list[1]);
  EXPECT_EQ((*services)->LocatePpi(services, &kFirstGuid, 0, nullptr, &found), EFI_SUCCESS);
  EXPECT_EQ(found, &a);
  EXPECT_EQ(platform.ppis().LocateCalls(), 2u);
  EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined();
}

TEST(PeiPpiDatabase, InstancesCountInInstallOrderAndAMissLeavesTheOutPointer) {
  sim::PeiPlatform platform;
  const EFI_PEI_SERVICES** services = platform.services_pointer();
  int a = 0, b = 0;
  platform.ppis().Install(kFirstGuid, &a);
  platform.ppis().Install(kFirstGuid, &b);
  VOID* found = nullptr;
  EXPECT_EQ((*services)->LocatePpi(services, &kFirstGuid, 1, nullptr, &found), EFI_SUCCESS);
  EXPECT_EQ(found, &b);
  VOID* untouched = &a;
  EXPECT_EQ((*services)->LocatePpi(services, &kFirstGuid, 2, nullptr, &untouched), EFI_NOT_FOUND);
  EXPECT_EQ(untouched, &a);
  EXPECT_EQ(platform.ppis().LocateMisses(), 1u);
}

TEST(PeiPpiDatabase, AnUnprovidedServiceReportsAViolationNamingIt) {
  sim::PeiPlatform platform;
  const EFI_PEI_SERVICES** services = platform.services_pointer();
  auto get_boot_mode = reinterpret_cast<EFI_STATUS(EFIAPI*)(const EFI_PEI_SERVICES**)>((*services)->GetBootMode);
  EXPECT_EQ(get_boot_mode(services), EFI_UNSUPPORTED);
  auto messages = platform.violations().Take();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("GetBootMode"), std::string::npos);
}

TEST(PeiPcdPpi, ServesTheConfiguredTokensAndCountsReads) {
  sim::PeiPlatformConfig config;
  config.default_mmcfg_base = 0x1234567890ull;
  config.mcfg_table.entries = {{0xE0000000u, 0, 0, 255}};
  sim::PeiPlatform platform(config);
  PCD_PPI* pcd = platform.pcds().ppi();
  EXPECT_EQ(pcd->Get64(44), 0x1234567890ull);
  const auto* table = static_cast<const UINT8*>(pcd->GetPtr(60));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(table), 4), "MCFG");
  EXPECT_EQ(table[4], 32);  // 16 + 16 * 1
  EXPECT_EQ(table[16 + 3], 0xE0);
  EXPECT_EQ(platform.pcds().Reads(44), 1u);
  EXPECT_EQ(platform.pcds().Reads(60), 1u);
  EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined();
}

TEST(PeiPcdPpi, UnknownTokensWrongKindsAndUnprovidedFunctionsAreViolations) {
  sim::PeiPlatform platform;
  PCD_PPI* pcd = platform.pcds().ppi();
  EXPECT_EQ(pcd->Get64(7), 0u);
  EXPECT_EQ(pcd->Get64(60), 0u);
  EXPECT_EQ(pcd->GetPtr(44), nullptr);
  EXPECT_EQ(pcd->Get32(44), 0u);
  EXPECT_EQ(platform.violations().Take().size(), 4u);
}

TEST(PeiPcdPpi, AnUnpublishedTableReadsAsNullAndTheLengthCanBeForced) {
  sim::PeiPlatformConfig config;
  config.mcfg_table.published = false;
  {
    sim::PeiPlatform platform(config);
    EXPECT_EQ(platform.pcds().ppi()->GetPtr(60), nullptr);
  }
  config.mcfg_table.published = true;
  config.mcfg_table.length = 0;
  config.mcfg_table.entries = {{0xE0000000u}};
  sim::PeiPlatform platform(config);
  const auto* table = static_cast<const UINT8*>(platform.pcds().ppi()->GetPtr(60));
  EXPECT_EQ(table[4] | table[5] | table[6] | table[7], 0);
}

TEST(PeiPlatformLifetime, AttachesItselfAndDetachesOnDestruction) {
  {
    sim::PeiPlatform platform;
    EXPECT_EQ(&sim::CurrentPlatform(), &platform);
    EXPECT_EQ(sim::PeiPlatform::Current(), &platform);
    EXPECT_EQ(ReadIdtBase(), platform.idt_base());
    EXPECT_NE(platform.idt_base(), 0u);
  }
  EXPECT_TRUE(sim::IsUnattached(sim::CurrentPlatform()));
  EXPECT_EQ(sim::PeiPlatform::Current(), nullptr);
}

TEST(PeiPlatformSiliconContext, LiesBelowFourGibAndTakesConfiguredBytes) {
  sim::PeiPlatformConfig config;
  config.silicon_context = {sim::ContextWord32(0x14F58, 0xC0000000u), {0x2B8FC, {1}}};
  sim::PeiPlatform platform(config);
  auto& context = platform.silicon_context();
  EXPECT_EQ(reinterpret_cast<uintptr_t>(context.data()), context.address());
  EXPECT_EQ(context.Read32(0x14F58), 0xC0000000u);
  EXPECT_EQ(context.data()[0x2B8FC], 1);
  EXPECT_EQ(context.data()[0x100], 0);
}

}  // namespace
