// Loading the ten setup variables into the configuration image: offsets, missing, short and long variables,
// the SMM or boot-services pool, and allocation failures.
#include <gtest/gtest.h>

#include <string>

#include "sim/dxe/smm.h"
#include "smbios/entry/setup_configuration.h"
#include "tests/smbios/entry/entry_test_platform.h"
#include "uefi/status.h"

namespace {

using entry_test::SetupHiiTest;

// What the image must hold: each variable's bytes at its running offset.
std::vector<uint8_t> Expected(const std::vector<std::pair<bool, size_t>>& sizes) {
  std::vector<uint8_t> image(sim::kSetupImageSize, 0);
  size_t index = 0;
  for (const sim::SetupPlacement& p : sim::PlaceSetupVariables(sizes)) {
    if (!p.zeroed) std::fill(image.begin() + p.offset, image.begin() + p.offset + p.length, index + 1);
    ++index;
  }
  return image;
}

class SetupConfigurationTest : public SetupHiiTest {};

TEST_F(SetupConfigurationTest, TableMatchesThePlatformsSetupVariables) {
  size_t total = 0, i = 0;
  for (const SetupVariableEntry* e = SetupVariableTable; e->VendorGuid != nullptr; ++e, ++i) {
    ASSERT_LT(i, sim::SetupVariables().size());
    const sim::SetupVariable& v = sim::SetupVariables()[i];
    EXPECT_EQ(std::u16string(e->Name), std::u16string(v.name));
    EXPECT_TRUE(GuidEqual(e->VendorGuid, &v.vendor)) << sim::VariableNameToString(v.name);
    EXPECT_EQ(e->ExpectedSize, v.size);
    total += e->ExpectedSize;
  }
  EXPECT_EQ(i, 10u);
  EXPECT_EQ(total, sim::kSetupImageSize);
}

TEST_F(SetupConfigurationTest, AllVariablesPresentLandAtTheirOffsets) {
  PutAllSetup();
  ASSERT_EQ(LoadSetupConfiguration(Destination()), EFI_SUCCESS);
  std::vector<uint8_t> image = Image();
  const size_t offsets[] = {0, 5414, 5432, 5502, 5815, 5986, 6061, 6526, 7655, 7708};
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(image[offsets[i]], i + 1) << "variable " << i + 1;
    EXPECT_EQ(image[offsets[i] + sim::SetupVariables()[i].size - 1], i + 1) << "variable " << i + 1;
  }
  std::vector<std::pair<bool, size_t>> all;
  for (const auto& v : sim::SetupVariables()) all.push_back({true, v.size});
  EXPECT_TRUE(sim_test::BytesEqual(image, Expected(all)));
}

TEST_F(SetupConfigurationTest, NoVariableGivesAnAllZeroImageAndSuccess) {
  ASSERT_EQ(LoadSetupConfiguration(Destination()), EFI_SUCCESS);
  EXPECT_TRUE(sim_test::BytesEqual(Image(), std::vector<uint8_t>(sim::kSetupImageSize, 0)));
  EXPECT_EQ(store->Log().size(), 10u);
}

TEST_F(SetupConfigurationTest, ShortVariableMovesTheLaterPartsDown) {
  PutAllSetup();
  PutSetup(2, 60, 3);  // SocketMpLinkConfig, 10 bytes short
  ASSERT_EQ(LoadSetupConfiguration(Destination()), EFI_SUCCESS);
  std::vector<uint8_t> image = Image();
  EXPECT_EQ(image[5491], 3);
  EXPECT_EQ(image[5492], 4);  // SocketMemoryConfig starts at 5492
  for (size_t i = sim::kSetupImageSize - 10; i < sim::kSetupImageSize; ++i) EXPECT_EQ(image[i], 0) << i;
  EXPECT_EQ(image[sim::kSetupImageSize - 11], 10);
}

TEST_F(SetupConfigurationTest, MissingVariableLeavesItsPartZeroAndTheOffsetsInPlace) {
  PutAllSetup();
  store->Erase(u"DraskSetup", sim::SetupVariables()[6].vendor);
  ASSERT_EQ(LoadSetupConfiguration(Destination()), EFI_SUCCESS);
  std::vector<uint8_t> image = Image();
  EXPECT_EQ(image[6061], 0);
  EXPECT_EQ(image[6525], 0);
  EXPECT_EQ(image[6526], 8);
}

TEST_F(SetupConfigurationTest, LargerVariableIsStoredAsZeroAtItsExpectedSizeAndTheImageDoesNotGrow) {
  PutAllSetup();
  PutSetup(7, 1129 + 16, 8);  // VdxRcConfiguration, 16 bytes over
  PutSetup(9, 4000, 10);      // FpgaSocketConfig, the last one, far over
  ASSERT_EQ(LoadSetupConfiguration(Destination()), EFI_SUCCESS);
  std::vector<std::pair<bool, size_t>> sizes;
  for (const auto& v : sim::SetupVariables()) sizes.push_back({true, v.size});
  sizes[7].second = 1145;
  sizes[9].second = 4000;
  EXPECT_TRUE(sim_test::BytesEqual(Image(), Expected(sizes)));
  EXPECT_EQ(Image()[6526], 0);
  EXPECT_EQ(Image()[7655], 9);  // UgRcConfiguration keeps its offset
  // The destination's guards (checked at the end of the test) show nothing was written past 7723 bytes.
}

TEST_F(SetupConfigurationTest, OutsideSmmBuffersComeFromBootServicesPool) {
  sim::SmmServices& smm = sim::InstallSmm(platform, false);
  PutAllSetup();
  ASSERT_EQ(LoadSetupConfiguration(Destination()), EFI_SUCCESS);
  EXPECT_EQ(smm.Allocations(), 0u);
  EXPECT_EQ(platform.Calls().Get("SmmBase2.InSmm"), 1u);
  EXPECT_EQ(platform.Calls().Get("SmmBase2.GetSmstLocation"), 0u);
  EXPECT_EQ(platform.Pool().Stats().allocations,
            1u + 10u);  // the destination and ten buffers (the work image is on the stack)
}

TEST_F(SetupConfigurationTest, InsideSmmBuffersComeFromTheSmmPoolAndAreReleasedThere) {
  sim::SmmServices& smm = sim::InstallSmm(platform, true);
  PutAllSetup();
  Destination();
  uint64_t before = platform.Calls().Get("AllocatePool");
  ASSERT_EQ(LoadSetupConfiguration(Destination()), EFI_SUCCESS);
  EXPECT_EQ(smm.Allocations(), 10u);
  EXPECT_EQ(smm.LiveBuffers(), 0u);
  EXPECT_EQ(platform.Calls().Get("SmmFreePool"), 10u);
  EXPECT_EQ(platform.Calls().Get("AllocatePool"), before);
  EXPECT_EQ(Image()[5414], 2);
}

EFI_STATUS EFIAPI LocateWithoutAnInterface(EFI_GUID*, VOID*, VOID** interface) {
  *interface = nullptr;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI InSmmFails(const EFI_SMM_BASE2_PROTOCOL*, BOOLEAN* in_smm) {
  *in_smm = TRUE;
  return EFI_DEVICE_ERROR;
}
EFI_STATUS EFIAPI NoSmst(const EFI_SMM_BASE2_PROTOCOL*, EFI_SMM_SYSTEM_TABLE2**) { return EFI_NOT_FOUND; }

// Inside SMM as far as the protocol says, but an InSmm that fails, no SMM system table, or a lookup that answers
// no SMM Base2 interface: boot-services pool.
TEST_F(SetupConfigurationTest, WithoutAnAnswerOrAnSmmTableTheBuffersComeFromBootServicesPool) {
  sim::SmmServices& smm = sim::InstallSmm(platform, true);
  PutAllSetup();
  Destination();
  const EFI_LOCATE_PROTOCOL locate = platform.BootServices()->LocateProtocol;
  for (int fault = 0; fault < 3; ++fault) {
    EFI_SMM_BASE2_PROTOCOL* base = smm.Protocol();
    EFI_SMM_BASE2_PROTOCOL saved = *base;
    if (fault == 0) base->InSmm = &InSmmFails;
    if (fault == 1) base->GetSmstLocation = &NoSmst;
    if (fault == 2) platform.BootServices()->LocateProtocol = &LocateWithoutAnInterface;
    uint64_t before = platform.Calls().Get("AllocatePool");
    ASSERT_EQ(LoadSetupConfiguration(Destination()), EFI_SUCCESS) << fault;
    EXPECT_EQ(smm.Allocations(), 0u) << fault;
    EXPECT_EQ(platform.Calls().Get("AllocatePool"), before + 10) << fault;
    EXPECT_EQ(Image()[5414], 2) << fault;
    *base = saved;
    platform.BootServices()->LocateProtocol = locate;
  }
}

EFI_STATUS EFIAPI SmmPoolWithoutABuffer(EFI_MEMORY_TYPE, UINTN, VOID** buffer) {
  *buffer = nullptr;
  return EFI_SUCCESS;
}

// An SMM pool that answers success without a buffer counts as a failed allocation.
TEST_F(SetupConfigurationTest, AnSmmAllocationWithoutABufferIsOutOfResources) {
  sim::SmmServices& smm = sim::InstallSmm(platform, true);
  PutAllSetup();
  std::vector<uint8_t> before = Image();
  smm.SystemTable()->SmmAllocatePool = &SmmPoolWithoutABuffer;
  EXPECT_EQ(LoadSetupConfiguration(Destination()), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(Image(), before);
}

TEST_F(SetupConfigurationTest, EveryAllocationFailureReturnsOutOfResourcesLeavesTheDestinationAndLeaksNothing) {
  PutAllSetup();
  for (bool in_smm : {false, true}) {
    for (uint64_t nth = 1; nth <= 10; ++nth) {
      Destination();
      platform.Pool().ClearFailures();
      platform.FailAllocation(nth);
      EXPECT_EQ(LoadSetupConfiguration(Destination()), EFI_OUT_OF_RESOURCES) << "allocation " << nth;
      EXPECT_EQ(Image()[0], 0xEE);
      EXPECT_EQ(platform.Pool().Stats().live_buffers, 1u) << "allocation " << nth;  // the destination only
    }
    platform.Pool().ClearFailures();
    if (!in_smm) sim::InstallSmm(platform, true);
  }
}

}  // namespace
