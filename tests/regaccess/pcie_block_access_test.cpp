// Block transfers of PCIe configuration registers: the parameter check and the plain, FIFO and fill runs.
#include <gtest/gtest.h>

#include "regaccess/pcie_register_handlers.h"
#include "regaccess/register_access.h"
#include "tests/regaccess/regaccess_fixture.h"

namespace {

using regtest::Bdf;
using regtest::Pcie;

alignas(8) UINT8 g_buffer[64];

TEST(CheckBlockAccess, EveryWidthCodeWithAlignedArguments) {
  for (UINT32 code = 0; code < 16; ++code) {
    UINT32 expected = code < 12 ? RegisterSuccess : RegisterInvalidParameter;
    EXPECT_EQ(CheckBlockAccess(2, code, 0x80000000u, g_buffer), expected) << "code " << code;
  }
}

TEST(CheckBlockAccess, ANullBufferIsInvalidBeforeAnythingElse) {
  EXPECT_EQ(CheckBlockAccess(1, 2, 0x80000000u, nullptr), RegisterInvalidParameter);
  EXPECT_EQ(CheckBlockAccess(1, 13, 0x80000001u, nullptr), RegisterInvalidParameter);
  EXPECT_EQ(CheckBlockAccess(0, 2, 0x80000000u, nullptr), RegisterInvalidParameter);
}

TEST(CheckBlockAccess, TheRegisterMustBeAlignedToTheElementSize) {
  for (UINT32 code = 0; code < 12; ++code) {
    UINT32 size = 1u << (code & 3);
    UINT32 expected = size > 1 ? RegisterUnsupported : RegisterSuccess;
    EXPECT_EQ(CheckBlockAccess(1, code, 0x80000000u + size / 2, g_buffer), expected) << "code " << code;
    EXPECT_EQ(CheckBlockAccess(1, code, 0x80000000u + size, g_buffer), RegisterSuccess) << "code " << code;
  }
}

TEST(CheckBlockAccess, TheBufferMustBeAlignedToTheElementSizeUpToFourBytes) {
  EXPECT_EQ(CheckBlockAccess(1, 1, 0x80000000u, g_buffer + 2), RegisterSuccess);
  EXPECT_EQ(CheckBlockAccess(1, 1, 0x80000000u, g_buffer + 1), RegisterUnsupported);
  EXPECT_EQ(CheckBlockAccess(1, 2, 0x80000000u, g_buffer + 2), RegisterUnsupported);
  EXPECT_EQ(CheckBlockAccess(1, 3, 0x80000000u, g_buffer + 4), RegisterSuccess);
  EXPECT_EQ(CheckBlockAccess(1, 3, 0x80000000u, g_buffer + 2), RegisterUnsupported);
  EXPECT_EQ(CheckBlockAccess(1, 0, 0x80000000u, g_buffer + 3), RegisterSuccess);
  EXPECT_EQ(CheckBlockAccess(1, 7, 0x80000000u, g_buffer + 2), RegisterUnsupported);
}

TEST(CheckBlockAccess, CountZeroChecksTheAddressLimitAndTheBuffer) {
  EXPECT_EQ(CheckBlockAccess(0, 2, 0xFFFFFFFCu, g_buffer), RegisterSuccess);
  EXPECT_EQ(CheckBlockAccess(0, 0, 0xFFFFFFFFu, g_buffer), RegisterSuccess);  // the last 32-bit address
  EXPECT_EQ(CheckBlockAccess(0, 2, 0x100000000ull, g_buffer), RegisterUnsupported);
  EXPECT_EQ(CheckBlockAccess(0, 2, 0x80000000u, g_buffer + 1), RegisterUnsupported);
  EXPECT_EQ(CheckBlockAccess(0, 2, 0x80000002u, g_buffer), RegisterUnsupported);
}

TEST(CheckBlockAccess, RunsMustEndAtOrBelowTheLast32BitAddress) {
  EXPECT_EQ(CheckBlockAccess(2, 2, 0xFFFFFFF8u, g_buffer), RegisterSuccess);
  EXPECT_EQ(CheckBlockAccess(3, 2, 0xFFFFFFF8u, g_buffer), RegisterUnsupported);
  EXPECT_EQ(CheckBlockAccess(1, 3, 0xFFFFFFF8u, g_buffer), RegisterSuccess);
  EXPECT_EQ(CheckBlockAccess(1, 3, 0x100000000ull, g_buffer), RegisterUnsupported);
  EXPECT_EQ(CheckBlockAccess(2, 10, 0xFFFFFFFCu, g_buffer), RegisterUnsupported);  // fill advances
  EXPECT_EQ(CheckBlockAccess(0xFFFFFFFFu, 0, 0, g_buffer), RegisterSuccess);
  EXPECT_EQ(CheckBlockAccess(0xFFFFFFFFu, 0, 1, g_buffer), RegisterSuccess);  // ends at 0xFFFFFFFF
  EXPECT_EQ(CheckBlockAccess(0xFFFFFFFFu, 0, 2, g_buffer), RegisterUnsupported);
  EXPECT_EQ(CheckBlockAccess(0x40000000u, 2, 0, g_buffer), RegisterSuccess);      // exactly the whole space
  EXPECT_EQ(CheckBlockAccess(0x40000000u, 2, 4, g_buffer), RegisterUnsupported);  // one element past it
  EXPECT_EQ(CheckBlockAccess(0x40000001u, 2, 0, g_buffer), RegisterUnsupported);  // more than the space holds
}

// FIFO codes 4 to 7 stay on one register: a long run at the last register of its width passes; the codes
// on either side (3, a plain run; 8, a fill) advance and do not.
TEST(CheckBlockAccess, FifoRunsAreCheckedAsOneElement) {
  struct Row {
    UINT32 count, code;
    UINT64 address;
    UINT32 expected;
  };
  const Row rows[] = {
      {100, 4, 0xFFFFFFFFu, RegisterSuccess},     {100, 5, 0xFFFFFFFEu, RegisterSuccess},
      {100, 6, 0xFFFFFFFCu, RegisterSuccess},     {0xFFFF, 7, 0xFFFFFFF8u, RegisterSuccess},
      {100, 3, 0xFFFFFFF8u, RegisterUnsupported}, {100, 8, 0xFFFFFFFFu, RegisterUnsupported},
      {100, 2, 0xFFFFFFFCu, RegisterUnsupported}, {100, 4, 0x100000000ull, RegisterUnsupported},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(CheckBlockAccess(r.count, r.code, r.address, g_buffer), r.expected) << "code " << r.code;
  }
}

class BlockTransferTest : public ::testing::Test {
 protected:
  BlockTransferTest() : platform(regtest::DefaultConfig()) {
    space = platform.config_window().Function(1, 0, 0);
    for (int i = 0; i < 64; ++i) space[i] = static_cast<uint8_t>(0xA0 + i);
  }
  void TearDown() override { EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined(); }
  UINT32 Block(UINT32 operation, UINT32 offset, UINT32 code, UINT32 count, void* buffer) {
    RegisterAddress record = Pcie(Bdf(1, 0, 0, offset), code, count, PcieConfigBlock);
    return RegisterHandlerTable[operation * 3 + PcieConfigBlock].Transfer(&record, buffer);
  }
  static constexpr UINT32 kBase = 0x80100000u;  // 1:0.0
  sim::PeiPlatform platform;
  uint8_t* space;
  alignas(8) UINT8 buffer[32] = {};
};

TEST_F(BlockTransferTest, FifoReadFillsConsecutiveBufferWordsFromOneRegister) {
  platform.StartRecording();
  ASSERT_EQ(Block(RegisterOperationRead, 4, 6, 3, buffer), 0u);
  std::vector<sim::MmioAccess> expected(3, {kBase + 4, 4, 0xA7A6A5A4u, false});
  EXPECT_EQ(platform.Recorded(), expected);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(buffer[4 * i], 0xA4) << i;
  EXPECT_EQ(buffer[12], 0);
}

TEST_F(BlockTransferTest, PlainWriteAdvancesRegisterAndBuffer) {
  const UINT8 data[4] = {1, 2, 3, 4};
  platform.StartRecording();
  ASSERT_EQ(Block(RegisterOperationWrite, 8, 1, 2, const_cast<UINT8*>(data)), 0u);
  std::vector<sim::MmioAccess> expected = {{kBase + 8, 2, 0x0201, true}, {kBase + 10, 2, 0x0403, true}};
  EXPECT_EQ(platform.Recorded(), expected);
}

TEST_F(BlockTransferTest, FillWriteCopiesOneElementToConsecutiveRegisters) {
  buffer[0] = 0x5A;
  platform.StartRecording();
  ASSERT_EQ(Block(RegisterOperationWrite, 0x20, 8, 3, buffer), 0u);
  std::vector<sim::MmioAccess> expected = {
      {kBase + 0x20, 1, 0x5A, true}, {kBase + 0x21, 1, 0x5A, true}, {kBase + 0x22, 1, 0x5A, true}};
  EXPECT_EQ(platform.Recorded(), expected);
}

TEST_F(BlockTransferTest, FillReadLeavesTheLastRegisterInOneElement) {
  ASSERT_EQ(Block(RegisterOperationRead, 0, 9, 3, buffer), 0u);
  EXPECT_EQ(buffer[0], 0xA4);
  EXPECT_EQ(buffer[1], 0xA5);
  EXPECT_EQ(buffer[2], 0);
}

TEST_F(BlockTransferTest, EightByteElementsGoAsTwoWordsIntoAFourByteAlignedBuffer) {
  platform.StartRecording();
  ASSERT_EQ(Block(RegisterOperationRead, 0x10, 3, 2, buffer + 4), 0u);
  ASSERT_EQ(platform.Recorded().size(), 4u);
  EXPECT_EQ(platform.Recorded()[1].address, kBase + 0x14);
  EXPECT_EQ(platform.Recorded()[2].address, kBase + 0x18);
  EXPECT_EQ(buffer[4], 0xB0);
  EXPECT_EQ(buffer[4 + 15], 0xBF);
}

TEST_F(BlockTransferTest, CountZeroMovesNothing) {
  platform.StartRecording();
  EXPECT_EQ(Block(RegisterOperationRead, 0, 2, 0, buffer), 0u);
  EXPECT_EQ(Block(RegisterOperationWrite, 0, 2, 0, buffer), 0u);
  EXPECT_TRUE(platform.Recorded().empty());
}

TEST_F(BlockTransferTest, AFailedCheckReturnsItsStatusWithoutAnyAccess) {
  platform.StartRecording();
  for (UINT32 code = 12; code < 16; ++code) {
    EXPECT_EQ(Block(RegisterOperationRead, 0, code, 1, buffer), RegisterInvalidParameter) << code;
    EXPECT_EQ(Block(RegisterOperationWrite, 0, code, 1, buffer), RegisterInvalidParameter) << code;
  }
  EXPECT_EQ(Block(RegisterOperationRead, 0, 2, 1, nullptr), RegisterInvalidParameter);
  EXPECT_EQ(Block(RegisterOperationRead, 2, 2, 1, buffer), RegisterUnsupported);
  EXPECT_EQ(Block(RegisterOperationWrite, 0, 3, 1, buffer + 2), RegisterUnsupported);
  EXPECT_TRUE(platform.Recorded().empty());
}

TEST(BlockTransferNearFourGib, ARunPastThe32BitLimitIsRefusedWithoutAccess) {
  sim::PeiPlatformConfig config;
  config.default_mmcfg_base = 0xF0000000u;
  config.mcfg_table.entries = {{0xF0000000u}};
  config.config_windows[0].base = 0xF0000000u;
  config.config_windows[0].functions = {{255, 31, 7, {}}};
  sim::PeiPlatform platform(config);
  platform.StartRecording();
  alignas(4) UINT8 buffer[16] = {};
  RegisterAddress record = Pcie(Bdf(255, 31, 7, 0xFF8), 2, 3, PcieConfigBlock);
  EXPECT_EQ(RegisterRead(&record, buffer), RegisterUnsupported);
  EXPECT_TRUE(platform.Recorded().empty());
  record = Pcie(Bdf(255, 31, 7, 0xFF8), 2, 2, PcieConfigBlock);  // ends at the last dword
  EXPECT_EQ(RegisterRead(&record, buffer), 0u);
  EXPECT_EQ(platform.Recorded().size(), 2u);
  EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined();
}

}  // namespace
