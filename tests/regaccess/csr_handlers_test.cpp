// The CSR column of the handler table: sized reads, writes and read-modify-writes at the translated
// address, seen on the simulated bus.
#include <map>

#include "regaccess/register_access.h"
#include "regaccess/register_address.h"
#include "sim/common/mmio_bus.h"
#include "sim/common/platform_context.h"
#include "tests/regaccess/regaccess_fixture.h"
#include "tests/support/byte_ram.h"

namespace csr_test {
namespace {

using PageRam = sim_test::ByteRam;

// PCU (box 4) functional block 2 of socket 0.
class CsrHandlerTest : public CsrTest {
 protected:
  void SetUp() override {
    CsrTest::SetUp();
    page_base_ = Segment0Base + Bdf(Socket0Row[1], 30, 2);
    bus_.Map(page_base_, 0x1000, &ram_, "PCU function 2");
    bus_.SetRecording(true);
    platform_.Attach();
  }
  void TearDown() override {
    platform_.Detach();
    EXPECT_TRUE(violations_.Empty()) << violations_.Joined();
    CsrTest::TearDown();
  }
  RegisterAddress Pcu(uint32_t offset, uint32_t width) { return Csr(0, 4, 0, 2, offset, width); }
  std::vector<sim::MmioAccess> Accesses() const { return bus_.Recorded(); }

  sim::PlatformContext platform_;
  sim::Violations& violations_ = platform_.violations();
  sim::MmioBus& bus_ = platform_.bus();
  PageRam ram_;
  PageRam other_;
  uint32_t page_base_ = 0;
};

TEST_F(CsrHandlerTest, GetAddressReturnsZeroAndTheTranslatedAddress) {
  RegisterAddress record = Pcu(0x84, 2);
  uint32_t result = 0;
  EXPECT_EQ(CsrGetAddress(7, 9, &record, &result), 0u);
  EXPECT_EQ(result, page_base_ + 0x84);
  EXPECT_EQ((record.Attribute >> 8) & 0xF, 2u);
  EXPECT_TRUE(Accesses().empty());
}

TEST_F(CsrHandlerTest, ReadUsesTheWidthFromTheAddress) {
  ram_.Write(0x80, 4, 0xA1B2C3D4);
  RegisterAddress record = Pcu(0x80, 2);
  record.Attribute = CpuCsr;  // width code 0 in the record; the translation sets 2
  uint32_t value = 0;
  EXPECT_EQ(CsrRead(&record, &value), 0u);
  EXPECT_EQ(value, 0xA1B2C3D4u);
  EXPECT_EQ(Accesses(), (std::vector<sim::MmioAccess>{{page_base_ + 0x80, 4, 0xA1B2C3D4, false}}));
}

TEST_F(CsrHandlerTest, WriteOfSixteenBits) {
  RegisterAddress record = Pcu(0x12, 1);
  const uint16_t value = 0xBEEF;
  EXPECT_EQ(CsrWrite(&record, const_cast<uint16_t*>(&value)), 0u);
  EXPECT_EQ(Accesses(), (std::vector<sim::MmioAccess>{{page_base_ + 0x12, 2, 0xBEEF, true}}));
}

TEST_F(CsrHandlerTest, ModifyReadsMergesAndWritesTheSameRegister) {
  ram_.Write(0x40, 4, 0x12345678);
  RegisterAddress record = Pcu(0x40, 2);
  const uint8_t and_mask[4] = {0x0F, 0xFF, 0x00, 0xFF};
  const uint8_t or_mask[4] = {0x80, 0x00, 0x11, 0x00};
  EXPECT_EQ(CsrModify(&record, and_mask, or_mask), 0u);
  EXPECT_EQ(Accesses(), (std::vector<sim::MmioAccess>{{page_base_ + 0x40, 4, 0x12345678, false},
                                                      {page_base_ + 0x40, 4, 0x12115688, true}}));
}

TEST_F(CsrHandlerTest, ModifyOfOneByteWithOnlyAnOrMask) {
  ram_.Write(0x7, 1, 0x40);
  RegisterAddress record = Pcu(0x7, 0);
  const uint8_t or_mask[1] = {0x01};
  EXPECT_EQ(CsrModify(&record, nullptr, or_mask), 0u);
  EXPECT_EQ(ram_.Read(0x7, 1), 0x41u);
}

TEST_F(CsrHandlerTest, ModifyResolvesTheAddressOnce) {
  // A request the rules refuse: one translation means one set of stops.
  bus_.Map(Segment0Base + Bdf(Socket0Row[1], 0, 0), 0x1000, &other_, "function 0");
  RegisterAddress record = Csr(0, 4, 1, 0, 0x10, 0);
  EXPECT_EQ(CsrModify(&record, nullptr, nullptr), 0u);
  EXPECT_EQ(sim::TakeDebugStops(), (std::vector{Stop("\nInvalid PCU Box Instance Number %d. \n", {1})}));
  EXPECT_EQ(Accesses().size(), 2u);
}

TEST_F(CsrHandlerTest, NullBufferOrContextIsRefusedWithoutAccess) {
  RegisterAddress record = Pcu(0x80, 2);
  EXPECT_EQ(CsrRead(&record, nullptr), 0x80000002u);
  EXPECT_EQ(CsrWrite(&record, nullptr), 0x80000002u);
  record.Context = 0;
  uint32_t value = 0;
  EXPECT_EQ(CsrRead(&record, &value), 0x80000002u);
  EXPECT_EQ(CsrWrite(&record, &value), 0x80000002u);
  EXPECT_EQ(CsrModify(&record, nullptr, nullptr), 0x80000002u);
  EXPECT_TRUE(Accesses().empty());
}

TEST_F(CsrHandlerTest, HandlerTableDispatchReachesTheCsrColumn) {
  ram_.Write(0x84, 4, 0x0BADF00D);
  RegisterAddress record = Pcu(0x84, 2);
  EXPECT_EQ(RegisterGetAddress(&record), page_base_ + 0x84);
  uint32_t value = 0;
  EXPECT_EQ(RegisterRead(&record, &value), 0u);
  EXPECT_EQ(value, 0x0BADF00Du);
  const uint8_t or_mask[4] = {0x02, 0, 0, 0};
  EXPECT_EQ(RegisterModify(&record, nullptr, or_mask), 0u);
  EXPECT_EQ(RegisterWrite(&record, &value), 0u);
  EXPECT_EQ(Accesses().back(), (sim::MmioAccess{page_base_ + 0x84, 4, 0x0BADF00D, true}));
  EXPECT_EQ(Accesses().size(), 4u);
}

// The PCU page placed at the top of the 32-bit space (the segment base chosen so), and a CSR at the end of it:
// an element that ends at 4 GiB is read, written and modified; one that would pass it is refused by all three
// without a single access.
struct TopOfSpaceRow {
  uint32_t offset;
  uint32_t width_code;
  uint32_t status;  // of the read, the write and the modify
};
class CsrTopOfSpaceTest : public CsrHandlerTest, public ::testing::WithParamInterface<TopOfSpaceRow> {};

TEST_P(CsrTopOfSpaceTest, AnElementEndingAtFourGiBIsReachedAndOnePastItIsNot) {
  const TopOfSpaceRow row = GetParam();
  constexpr uint32_t kTopPage = 0xFFFFF000u;
  ContextWrite32(context_, SiliconContextLayout::MmcfgLowWord, kTopPage - Bdf(Socket0Row[1], 30, 2));
  bus_.Map(kTopPage, 0x1000, &other_, "PCU function 2 at the top");
  const uint32_t size = 1u << row.width_code;
  const uint32_t address = kTopPage + row.offset;
  for (uint32_t i = 0; i < size; ++i) other_.Write(row.offset + i, 1, 0x10 + i);
  RegisterAddress record = Pcu(row.offset, row.width_code);
  uint8_t value[8] = {};
  EXPECT_EQ(CsrRead(&record, value), row.status);
  EXPECT_EQ(CsrWrite(&record, value), row.status);
  const uint8_t or_mask[8] = {0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
  EXPECT_EQ(CsrModify(&record, nullptr, or_mask), row.status);
  if (row.status != 0) {
    EXPECT_TRUE(Accesses().empty());
    return;
  }
  for (uint32_t i = 0; i < size; ++i) {
    EXPECT_EQ(value[i], 0x10 + i) << i;
    EXPECT_EQ(other_.Read(row.offset + i, 1), 0x90u + i) << i;
  }
  // Read, write, then the modify's read and write: one access each, two 32-bit ones for an 8-byte element.
  const uint32_t per_move = size == 8 ? 2 : 1;
  ASSERT_EQ(Accesses().size(), 4 * per_move);
  EXPECT_EQ(Accesses().back().address, address + (per_move - 1) * 4);
}

INSTANTIATE_TEST_SUITE_P(Elements, CsrTopOfSpaceTest,
                         ::testing::Values(TopOfSpaceRow{0xFFF, 0, 0}, TopOfSpaceRow{0xFFE, 1, 0},
                                           TopOfSpaceRow{0xFFF, 1, 0x80000003u}, TopOfSpaceRow{0xFFC, 2, 0},
                                           TopOfSpaceRow{0xFFD, 2, 0x80000003u}, TopOfSpaceRow{0xFF8, 3, 0},
                                           TopOfSpaceRow{0xFFC, 3, 0x80000003u}));

}  // namespace
}  // namespace csr_test
