// Address resolution, the handler table and single PCIe register accesses, checked on the recorder.
#include <gtest/gtest.h>

#include "regaccess/pcie_register_handlers.h"
#include "regaccess/register_access.h"
#include "regaccess/register_copy.h"
#include "tests/regaccess/regaccess_fixture.h"

namespace {

using regtest::Bdf;
using regtest::Pcie;

constexpr UINT32 kPmc = 0x800FA000u;  // 0:31.2 through the fallback table

class RegisterAccessTest : public ::testing::Test {
 protected:
  RegisterAccessTest() : platform(regtest::DefaultConfig()) {}
  void TearDown() override { EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined(); }
  uint8_t* pmc() { return platform.config_window().Function(0, 31, 2); }
  sim::PeiPlatform platform;
};

TEST_F(RegisterAccessTest, TheTraceHubRecordResolvesThroughTheFallbackTable) {
  RegisterAddress record = {0x000FA000u, 0, 0x00000200u, 0};
  EXPECT_EQ(RegisterGetAddress(&record), kPmc);
}

TEST_F(RegisterAccessTest, AddressBits28To31AreIgnored) {
  RegisterAddress record = {0xF00FA000u, 0, 0x00000200u, 0};
  EXPECT_EQ(RegisterGetAddress(&record), kPmc);
  record.Attribute = 0x00000201u;  // block type resolves the same way
  EXPECT_EQ(RegisterGetAddress(&record), kPmc);
}

TEST_F(RegisterAccessTest, AnAddressTypeAboveTwoResolvesToZeroWithoutAnyLookup) {
  RegisterAddress record = {0x000FA000u, 0, 0x00000203u, 0};
  EXPECT_EQ(RegisterGetAddress(&record), 0u);
  EXPECT_EQ(platform.ppis().LocateCalls(), 0u);
  UINT32 value = 0;
  EXPECT_EQ(RegisterRead(&record, &value), RegisterUnsupported);
  EXPECT_EQ(RegisterModify(&record, nullptr, nullptr), RegisterUnsupported);
}

TEST_F(RegisterAccessTest, ANullRecordIsRefusedWithoutAnyLookup) {
  UINT32 value = 0x5A5A5A5Au;
  EXPECT_EQ(RegisterGetAddress(nullptr), 0u);
  EXPECT_EQ(RegisterRead(nullptr, &value), RegisterUnsupported);
  EXPECT_EQ(RegisterWrite(nullptr, &value), RegisterUnsupported);
  EXPECT_EQ(RegisterModify(nullptr, &value, &value), RegisterUnsupported);
  EXPECT_EQ(value, 0x5A5A5A5Au);
  EXPECT_EQ(platform.ppis().LocateCalls(), 0u);
}

TEST_F(RegisterAccessTest, TheTableHoldsTheHandlersRowAfterRow) {
  const RegisterHandler* t = RegisterHandlerTable;
  EXPECT_EQ(t[0].GetAddress, &PcieGetAddress);
  EXPECT_EQ(t[1].GetAddress, &PcieGetAddress);
  EXPECT_EQ(t[2].GetAddress, &CsrGetAddress);
  EXPECT_EQ(t[3].Transfer, &PcieRead);
  EXPECT_EQ(t[4].Transfer, &PcieBlockRead);
  EXPECT_EQ(t[5].Transfer, &CsrRead);
  EXPECT_EQ(t[6].Transfer, &PcieWrite);
  EXPECT_EQ(t[7].Transfer, &PcieBlockWrite);
  EXPECT_EQ(t[8].Transfer, &CsrWrite);
  EXPECT_EQ(t[9].Modify, &PcieModify);
  EXPECT_EQ(t[10].Modify, &PcieModify);
  EXPECT_EQ(t[11].Modify, &CsrModify);
}

TEST_F(RegisterAccessTest, SingleReadsUseTheWidthOfTheCode) {
  platform.StartRecording();
  UINT8 buffer[8] = {};
  for (UINT32 code = 0; code < 3; ++code) {
    RegisterAddress record = Pcie(Bdf(0, 31, 2, 0), code);
    EXPECT_EQ(RegisterRead(&record, buffer), 0u);
  }
  std::vector<sim::MmioAccess> expected = {
      {kPmc, 1, 0x78, false}, {kPmc, 2, 0x5678, false}, {kPmc, 4, 0x12345678u, false}};
  EXPECT_EQ(platform.Recorded(), expected);
  EXPECT_EQ(buffer[0] | buffer[1] << 8 | buffer[2] << 16 | buffer[3] << 24, 0x12345678);
}

TEST_F(RegisterAccessTest, ACode3ReadIsTwo32BitReadsLowWordFirst) {
  pmc()[8] = 0x11;
  pmc()[12] = 0x22;
  platform.StartRecording();
  UINT8 buffer[8] = {};
  RegisterAddress record = Pcie(Bdf(0, 31, 2, 8), 3);
  RegisterRead(&record, buffer);
  std::vector<sim::MmioAccess> expected = {{kPmc + 8, 4, 0x11, false}, {kPmc + 12, 4, 0x22, false}};
  EXPECT_EQ(platform.Recorded(), expected);
  EXPECT_EQ(buffer[0], 0x11);
  EXPECT_EQ(buffer[4], 0x22);
}

TEST_F(RegisterAccessTest, CodesAboveThreeMoveOneEightByteElementInSingleAccesses) {
  platform.StartRecording();
  UINT8 buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  RegisterAddress record = Pcie(Bdf(0, 31, 2, 0x10), 6);
  RegisterWrite(&record, buffer);
  std::vector<sim::MmioAccess> expected = {{kPmc + 0x10, 4, 0x04030201u, true}, {kPmc + 0x14, 4, 0x08070605u, true}};
  EXPECT_EQ(platform.Recorded(), expected);
}

TEST_F(RegisterAccessTest, ANullBufferIsRefusedBeforeAnyAccess) {
  platform.StartRecording();
  RegisterAddress record = Pcie(Bdf(0, 31, 2, 0), 2);
  EXPECT_EQ(RegisterRead(&record, nullptr), RegisterInvalidParameter);
  EXPECT_EQ(RegisterWrite(&record, nullptr), RegisterInvalidParameter);
  EXPECT_TRUE(platform.Recorded().empty());
}

TEST_F(RegisterAccessTest, ModifyWithoutMasksWritesTheRegistersOwnValueBack) {
  platform.StartRecording();
  RegisterAddress record = Pcie(Bdf(0, 31, 2, 0), 2);
  EXPECT_EQ(RegisterModify(&record, nullptr, nullptr), 0u);
  std::vector<sim::MmioAccess> expected = {{kPmc, 4, 0x12345678u, false}, {kPmc, 4, 0x12345678u, true}};
  EXPECT_EQ(platform.Recorded(), expected);
}

TEST_F(RegisterAccessTest, ModifyWithAnOrMaskAtCode0SetsOneBitOfTheByte) {
  pmc()[0x40] = 0xA4;
  platform.StartRecording();
  const UINT8 set_bit0 = 0x01;
  RegisterAddress record = Pcie(Bdf(0, 31, 2, 0x40), 0);
  RegisterModify(&record, nullptr, &set_bit0);
  std::vector<sim::MmioAccess> expected = {{kPmc + 0x40, 1, 0xA4, false}, {kPmc + 0x40, 1, 0xA5, true}};
  EXPECT_EQ(platform.Recorded(), expected);
}

TEST_F(RegisterAccessTest, ModifyAppliesTheAndMaskBeforeTheOrMaskByteByByte) {
  const UINT8 keep[2] = {0x0F, 0xF0};
  const UINT8 set[2] = {0x80, 0x01};
  RegisterAddress record = Pcie(Bdf(0, 31, 2, 0), 1);
  RegisterModify(&record, keep, set);
  EXPECT_EQ(pmc()[0], (0x78 & 0x0F) | 0x80);
  EXPECT_EQ(pmc()[1], (0x56 & 0xF0) | 0x01);
  EXPECT_EQ(pmc()[2], 0x34);  // outside the element
}

TEST_F(RegisterAccessTest, ModifyAtACodeAboveThreeMergesOnlyThatCodesElementSize) {
  const UINT8 clear[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  RegisterAddress record = Pcie(Bdf(0, 31, 2, 0), 5);  // FIFO 16-bit: a 2-byte mask
  RegisterModify(&record, clear, nullptr);
  EXPECT_EQ(pmc()[0], 0);
  EXPECT_EQ(pmc()[1], 0);
  EXPECT_EQ(pmc()[2], 0x34);
  EXPECT_EQ(pmc()[3], 0x12);
}

TEST_F(RegisterAccessTest, AbsentFunctionsReadAllOnesAndDropWrites) {
  UINT32 value = 0;
  RegisterAddress record = Pcie(Bdf(0, 3, 0, 0), 2);
  RegisterRead(&record, &value);
  EXPECT_EQ(value, 0xFFFFFFFFu);
  value = 0;
  RegisterWrite(&record, &value);
  RegisterRead(&record, &value);
  EXPECT_EQ(value, 0xFFFFFFFFu);
}

TEST(MergeMasksSizes, SizeZeroLeavesTheValueAndSizeEightCoversEveryByte) {
  UINT8 value[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const UINT8 zero[8] = {};
  MergeMasks(value, zero, nullptr, 0);
  EXPECT_EQ(value[0], 1);
  MergeMasks(value, zero, nullptr, 8);
  for (UINT8 v : value) EXPECT_EQ(v, 0);
}

// A size above 8 still merges one 8-byte element: the bytes after it stay as they are.
TEST(MergeMasksSizes, SizesAboveEightMergeOnlyEightBytes) {
  for (UINT32 size : {9u, 16u, 255u}) {
    UINT8 value[16];
    for (UINT8 i = 0; i < 16; ++i) value[i] = static_cast<UINT8>(i + 1);
    UINT8 set[16];
    for (UINT8& b : set) b = 0x80;
    MergeMasks(value, nullptr, set, size);
    for (UINT8 i = 0; i < 16; ++i) {
      EXPECT_EQ(value[i], i < 8 ? static_cast<UINT8>((i + 1) | 0x80) : static_cast<UINT8>(i + 1))
          << "size " << size << " byte " << int{i};
    }
  }
}

// The window of segment 0 in the top 256 MiB of the 32-bit space (platform MCFG table entry 0 at 0xF0000000):
// configuration offset 0xFFC of function 255:31.7 is the last dword below 4 GiB.
sim::PeiPlatformConfig TopWindowConfig() {
  sim::PeiPlatformConfig config;
  config.mcfg_table.entries = {sim::McfgEntryConfig{0xF0000000u, 0, 0, 255}};
  config.config_windows[0].base = 0xF0000000u;
  config.config_windows[0].functions = {{255, 31, 7, {{0xFF8, 4, 0x11111111u}, {0xFFC, 4, 0x22222222u}}}};
  return config;
}

class TopOfAddressSpaceTest : public ::testing::Test {
 protected:
  TopOfAddressSpaceTest() : platform(TopWindowConfig()) {}
  void TearDown() override { EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined(); }
  sim::PeiPlatform platform;
};

// An 8-byte single access at 0xFFFFFFFC would put its high word at address 0 (the 32-bit sum wraps): it is
// refused before any access, like a block whose bytes pass the 4 GiB top.
TEST_F(TopOfAddressSpaceTest, AnEightByteSingleAccessAtTheLastDwordIsRefusedWithoutAnyAccess) {
  RegisterAddress record = Pcie(Bdf(255, 31, 7, 0xFFC), 3);
  ASSERT_EQ(RegisterGetAddress(&record), 0xFFFFFFFCu);
  platform.StartRecording();
  UINT8 buffer[8] = {0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5};
  EXPECT_EQ(RegisterRead(&record, buffer), RegisterUnsupported);
  EXPECT_EQ(buffer[0], 0xA5) << "the buffer is not written";
  EXPECT_EQ(RegisterWrite(&record, buffer), RegisterUnsupported);
  const UINT8 or_mask[8] = {1, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(RegisterModify(&record, nullptr, or_mask), RegisterUnsupported);
  RegisterAddress fifo = Pcie(Bdf(255, 31, 7, 0xFFC), 7);  // a FIFO code is one 8-byte element in a single access
  EXPECT_EQ(RegisterRead(&fifo, buffer), RegisterUnsupported);
  EXPECT_TRUE(platform.Recorded().empty());
}

TEST_F(TopOfAddressSpaceTest, ElementsThatEndAtTheTopAreStillMoved) {
  platform.StartRecording();
  UINT8 buffer[8] = {};
  RegisterAddress last_dword = Pcie(Bdf(255, 31, 7, 0xFFC), 2);
  EXPECT_EQ(RegisterRead(&last_dword, buffer), RegisterSuccess);
  RegisterAddress last_qword = Pcie(Bdf(255, 31, 7, 0xFF8), 3);
  EXPECT_EQ(RegisterRead(&last_qword, buffer), RegisterSuccess);
  std::vector<sim::MmioAccess> expected = {
      {0xFFFFFFFCu, 4, 0x22222222u, false}, {0xFFFFFFF8u, 4, 0x11111111u, false}, {0xFFFFFFFCu, 4, 0x22222222u, false}};
  EXPECT_EQ(platform.Recorded(), expected);
}

TEST(RegisterCopy, EveryWidthIsRefusedOnlyWhenItsBytesPassTheTop) {
  EXPECT_TRUE(RegisterBytesInAddressSpace(0, 0xFFFFFFFFu));
  EXPECT_FALSE(RegisterBytesInAddressSpace(1, 0xFFFFFFFFu));
  EXPECT_TRUE(RegisterBytesInAddressSpace(1, 0xFFFFFFFEu));
  EXPECT_FALSE(RegisterBytesInAddressSpace(2, 0xFFFFFFFDu));
  EXPECT_TRUE(RegisterBytesInAddressSpace(2, 0xFFFFFFFCu));
  EXPECT_FALSE(RegisterBytesInAddressSpace(3, 0xFFFFFFFCu));
  EXPECT_TRUE(RegisterBytesInAddressSpace(3, 0xFFFFFFF8u));
  EXPECT_FALSE(RegisterBytesInAddressSpace(11, 0xFFFFFFF9u));
  UINT8 buffer[8] = {};
  EXPECT_EQ(CopyFromRegister(buffer, 3, 0xFFFFFFFCu), RegisterCopyUnsupported);
  EXPECT_EQ(CopyToRegister(buffer, 3, 0xFFFFFFFCu), RegisterCopyUnsupported);
}

}  // namespace
