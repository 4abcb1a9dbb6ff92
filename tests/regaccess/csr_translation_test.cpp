// TranslateCsrAddress: composition with the MMCFG base, pseudo-register and width-code rewrites, the
// page cache, and a record without a context.
#include "tests/regaccess/regaccess_fixture.h"

namespace csr_test {
namespace {

using CsrTranslationTest = CsrTest;

TEST_F(CsrTranslationTest, AddsTheSocketSegmentBaseToTheComposedOffset) {
  EXPECT_EQ(Translate(Csr(0, 0, 27, 0, 0x123)), Segment0Base + Bdf(Socket0Row[1], 11, 3, 0x123));
  EXPECT_EQ(Translate(Csr(1, 12, 3, 0, 0xFFC)), Segment1Base + Bdf(Socket1Row[3], 23, 0, 0xFFC));
  EXPECT_TRUE(sim::DebugStops().empty());
}

TEST_F(CsrTranslationTest, PseudoRegisterKeepsOnlyBoxAndBlockAndReachesOffsetZero) {
  RegisterAddress record = Csr(0, 3, 0, 5);
  record.Address = 0x0305A123;
  record.Attribute = CpuCsr | (3u << 8);
  uint32_t result = 0;
  EXPECT_EQ(TranslateCsrAddress(&record, &result), 0u);
  EXPECT_EQ(record.Address, 0x03050000u);
  EXPECT_EQ((record.Attribute >> 8) & 0xF, 0u);
  // Box 3 has no functional block 5: the function stage stops and yields 0.
  EXPECT_EQ(sim::TakeDebugStops(),
            (std::vector{Stop("\nInvalid Functional Block %d accessed for CPUType %d CPUIndex %d Box Type %d and Box "
                              "Instance %d. \n",
                              {5, 0, 0, 3, 0})}));
  EXPECT_EQ(result, Segment0Base + Bdf(Socket0Row[1], 29, 0, 0));
}

TEST_F(CsrTranslationTest, RegularAddressIsNotRewritten) {
  RegisterAddress record = Csr(0, 3, 0, 1, 0xA23, 1);
  const uint32_t before = record.Address;
  uint32_t result = 0;
  TranslateCsrAddress(&record, &result);
  EXPECT_EQ(record.Address, before);
  EXPECT_EQ(result, Segment0Base + Bdf(Socket0Row[1], 29, 1, 0xA23));
}

TEST_F(CsrTranslationTest, WidthCodeComesFromAddressBits13And14) {
  RegisterAddress record = Csr(0, 4, 0, 0, 0x40, 2);
  record.Attribute = 0xABCDEF02;  // bits outside 8-11 stay
  uint32_t result = 0;
  TranslateCsrAddress(&record, &result);
  EXPECT_EQ(record.Attribute, 0xABCDE202u);
  record.Address = (record.Address & ~(3u << 13)) | (3u << 13);
  TranslateCsrAddress(&record, &result);
  EXPECT_EQ(record.Attribute, 0xABCDE302u);
}

TEST_F(CsrTranslationTest, WithoutContextNothingIsComposed) {
  RegisterAddress record = Csr(0, 4, 0, 0, 0x40, 2);
  record.Context = 0;
  uint32_t result = 0xDEADBEEF;
  EXPECT_EQ(TranslateCsrAddress(&record, &result), 0x80000002u);
  EXPECT_EQ(result, 0u);
  EXPECT_TRUE(sim::DebugStops().empty());
}

class CsrCacheTest : public CsrTest {
 protected:
  // Moves socket 0's stack 1 so a recomposed address differs from a cached one.
  void MoveStackOne() { Topology(SocketTopologyLayout::StackBus + 1) = 0x66; }
  uint32_t Composed(uint8_t stack1_bus, uint32_t device, uint32_t function, uint32_t offset) {
    return Segment0Base + Bdf(stack1_bus, device, function, offset);
  }
};

TEST_F(CsrCacheTest, SecondRequestOnTheSamePageUsesTheCachedPage) {
  SetCacheEnable(1);
  EXPECT_EQ(Translate(Csr(0, 4, 0, 1, 0x100)), Composed(Socket0Row[1], 30, 1, 0x100));
  MoveStackOne();
  ContextWrite32(context_, SiliconContextLayout::MmcfgLowWord, 0xC0000000u);
  EXPECT_EQ(Translate(Csr(0, 4, 0, 1, 0x2FC)), Composed(Socket0Row[1], 30, 1, 0x2FC));
}

TEST_F(CsrCacheTest, AnotherWidthCodeIsAnotherPageKey) {
  // The width code lives in bits 13-14, which are part of the page key: another code misses.
  SetCacheEnable(1);
  Translate(Csr(0, 4, 0, 1, 0x100, 0));
  MoveStackOne();
  EXPECT_EQ(Translate(Csr(0, 4, 0, 1, 0x100, 2)), Composed(0x66, 30, 1, 0x100));
}

TEST_F(CsrCacheTest, MissesOnAnotherPageInstanceOrSocket) {
  SetCacheEnable(1);
  Translate(Csr(0, 4, 0, 1, 0x100));
  MoveStackOne();
  EXPECT_EQ(Translate(Csr(0, 4, 0, 2, 0x100)), Composed(0x66, 30, 2, 0x100));  // other block: other page

  Translate(Csr(0, 4, 0, 2, 0x100));
  RegisterAddress bit12 = Csr(0, 4, 0, 2, 0x100);
  bit12.Address |= 1u << 12;  // not interpreted, but part of the page key
  Topology(SocketTopologyLayout::StackBus + 1) = 0x67;
  EXPECT_EQ(Translate(bit12), Composed(0x67, 30, 2, 0x100));

  Translate(Csr(0, 0, 1, 0, 0x10));
  Topology(SocketTopologyLayout::StackBus + 1) = 0x68;
  EXPECT_EQ(Translate(Csr(0, 0, 2, 0, 0x10)), Composed(0x68, 8, 2, 0x10));  // other instance

  EXPECT_EQ(Translate(Csr(1, 0, 2, 0, 0x10)), Segment1Base + Bdf(Socket1Row[1], 8, 2, 0x10));  // other socket
  // Back to socket 0 on the page socket 1 just cached: socket 1's page must not be served.
  EXPECT_EQ(Translate(Csr(0, 0, 2, 0, 0x10)), Composed(0x68, 8, 2, 0x10));
}

TEST_F(CsrCacheTest, UpperBytesOfWordOneArePartOfTheKey) {
  SetCacheEnable(1);
  Translate(Csr(0, 4, 0, 1, 0x100));
  MoveStackOne();
  RegisterAddress record = Csr(0, 4, 0, 1, 0x100);
  record.Word1 |= 0x00010000;
  EXPECT_EQ(Translate(record), Composed(0x66, 30, 1, 0x100));
}

TEST_F(CsrCacheTest, DisabledCacheRecomposesButStillStoresTheKeys) {
  SetCacheEnable(0);
  const RegisterAddress record = Csr(1, 4, 0, 1, 0x104);  // socket 1: a Word1 that is not 0
  EXPECT_EQ(Translate(record), Segment1Base + Bdf(Socket1Row[1], 30, 1, 0x104));
  EXPECT_EQ(Word(SiliconContextLayout::CacheKey1), record.Address & 0xFFFFF000u);
  EXPECT_EQ(Word(SiliconContextLayout::CacheKey2), record.Word1);
  EXPECT_EQ(Word(SiliconContextLayout::CachedPageBase), Segment1Base + Bdf(Socket1Row[1], 30, 1, 0));
  EXPECT_EQ(context_[SiliconContextLayout::CacheEnable], 0u);
  MoveStackOne();
  EXPECT_EQ(Translate(Csr(0, 4, 0, 1, 0x200)), Composed(0x66, 30, 1, 0x200));
}

TEST_F(CsrCacheTest, CacheHitSkipsTheRulesAndTheirStops) {
  // Keys primed by the producer for a request the rules refuse: the hit returns without a stop.
  SetCacheEnable(1);
  const RegisterAddress record = Csr(0, 3, 7, 0, 0x20);
  ContextWrite32(context_, SiliconContextLayout::CacheKey1, record.Address & 0xFFFFF000u);
  ContextWrite32(context_, SiliconContextLayout::CacheKey2, record.Word1);
  ContextWrite32(context_, SiliconContextLayout::CachedPageBase, 0x12345000u);
  EXPECT_EQ(Translate(record), 0x12345020u);
  EXPECT_TRUE(sim::DebugStops().empty());
}

}  // namespace
}  // namespace csr_test
