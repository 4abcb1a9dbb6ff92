// Pool accounting, guard checks and failure injection, through the boot services the driver calls.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support/platform_checks.h"

namespace {

using sim_test::PlatformTest;

class PoolTest : public PlatformTest {
 protected:
  EFI_STATUS Allocate(UINTN size, VOID** buffer, EFI_MEMORY_TYPE type = EfiBootServicesData) {
    return platform.BootServices()->AllocatePool(type, size, buffer);
  }
  EFI_STATUS Free(VOID* buffer) { return platform.BootServices()->FreePool(buffer); }
};

TEST_F(PoolTest, AccountsLiveBuffersAndPeak) {
  VOID* a = nullptr;
  VOID* b = nullptr;
  ASSERT_EQ(Allocate(100, &a), EFI_SUCCESS);
  ASSERT_EQ(Allocate(28, &b), EFI_SUCCESS);
  EXPECT_NE(a, b);
  EXPECT_EQ(platform.Pool().Stats().live_bytes, 128u);
  EXPECT_EQ(platform.Pool().Stats().live_buffers, 2u);
  ASSERT_EQ(Free(a), EFI_SUCCESS);
  EXPECT_EQ(platform.Pool().Stats().live_bytes, 28u);
  EXPECT_EQ(platform.Pool().Stats().peak_bytes, 128u);
  EXPECT_EQ(platform.Pool().Stats().peak_buffers, 2u);
  ASSERT_EQ(Free(b), EFI_SUCCESS);
  EXPECT_EQ(platform.Calls().Get("AllocatePool"), 2u);
  EXPECT_EQ(platform.Calls().Get("FreePool"), 2u);
}

TEST_F(PoolTest, FreshPoolIsNotZeroFilled) {
  VOID* a = nullptr;
  ASSERT_EQ(Allocate(16, &a), EFI_SUCCESS);
  const auto* bytes = static_cast<const uint8_t*>(a);
  EXPECT_NE(bytes[0], 0);
  EXPECT_NE(bytes[15], 0);
  Free(a);
}

TEST_F(PoolTest, FindsTheBufferHoldingAnAddress) {
  VOID* a = nullptr;
  ASSERT_EQ(Allocate(768, &a), EFI_SUCCESS);
  size_t rest = 0;
  auto found = platform.Pool().Find(static_cast<uint8_t*>(a) + 700, &rest);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->size, 768u);
  EXPECT_EQ(rest, 68u);
  EXPECT_FALSE(platform.Pool().Find(static_cast<uint8_t*>(a) + 768).has_value());
  Free(a);
}

// Lookups that alternate between buffers, and one after a free: each answers for the pool as it is now.
TEST_F(PoolTest, FindAnswersForTheBuffersLiveNowWhateverItFoundBefore) {
  VOID* a = nullptr;
  VOID* b = nullptr;
  ASSERT_EQ(Allocate(64, &a), EFI_SUCCESS);
  ASSERT_EQ(Allocate(32, &b), EFI_SUCCESS);
  auto* pa = static_cast<uint8_t*>(a);
  auto* pb = static_cast<uint8_t*>(b);
  struct Probe {
    const uint8_t* address;
    uint64_t number;  // 0: no live buffer holds it
    size_t rest;
  };
  const uint64_t na = platform.Pool().Find(pa)->number, nb = platform.Pool().Find(pb)->number;
  EXPECT_NE(na, nb);
  const std::vector<Probe> before = {{pa + 10, na, 54}, {pb + 31, nb, 1}, {pa + 63, na, 1}, {pa + 64, 0, 0},
                                     {pb, nb, 32},      {pb + 32, 0, 0},  {pa + 1, na, 63}};
  auto probe = [&](const std::vector<Probe>& probes) {
    for (const Probe& p : probes) {
      size_t rest = 0;
      const auto found = platform.Pool().Find(p.address, &rest);
      EXPECT_EQ(found ? found->number : 0, p.number) << static_cast<const void*>(p.address);
      EXPECT_EQ(rest, p.rest) << static_cast<const void*>(p.address);
    }
  };
  probe(before);
  ASSERT_EQ(Free(a), EFI_SUCCESS);
  probe({{pa + 10, 0, 0}, {pb + 4, nb, 28}, {pa, 0, 0}});
  ASSERT_EQ(Free(b), EFI_SUCCESS);
  probe({{pb + 4, 0, 0}});
}

TEST_F(PoolTest, NthAllocationFromNowFails) {
  VOID* a = nullptr;
  ASSERT_EQ(Allocate(8, &a), EFI_SUCCESS);  // before the injection: not counted
  platform.FailAllocation(2);
  VOID* b = nullptr;
  VOID* c = reinterpret_cast<VOID*>(1);
  VOID* d = nullptr;
  EXPECT_EQ(Allocate(8, &b), EFI_SUCCESS);
  EXPECT_EQ(Allocate(8, &c), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(c, nullptr);
  EXPECT_EQ(Allocate(8, &d), EFI_SUCCESS);
  EXPECT_EQ(platform.Pool().Stats().failed, 1u);
  Free(a), Free(b), Free(d);
}

TEST_F(PoolTest, ARequestBeyondThePoolsLargestBufferIsOutOfResourcesAndNeverWraps) {
  VOID* a = reinterpret_cast<VOID*>(1);
  EXPECT_EQ(Allocate(~UINTN{0} - 8, &a), EFI_OUT_OF_RESOURCES);  // the guards' sum would wrap to a tiny block
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(Allocate((UINTN{256} << 20) + 1, &a), EFI_OUT_OF_RESOURCES);
  ASSERT_EQ(Allocate(UINTN{256} << 20, &a), EFI_SUCCESS);
  Free(a);
  EXPECT_EQ(platform.Pool().Stats().failed, 2u);
}

TEST_F(PoolTest, EveryAllocationFromNthOnFails) {
  platform.FailAllocationsFrom(3);
  VOID* p[5] = {};
  EXPECT_EQ(Allocate(8, &p[0]), EFI_SUCCESS);
  EXPECT_EQ(Allocate(8, &p[1]), EFI_SUCCESS);
  EXPECT_EQ(Allocate(8, &p[2]), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(Allocate(8, &p[3]), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(Allocate(8, &p[4]), EFI_OUT_OF_RESOURCES);
  Free(p[0]), Free(p[1]);
}

TEST_F(PoolTest, DoubleFreeIsAViolation) {
  VOID* a = nullptr;
  ASSERT_EQ(Allocate(8, &a), EFI_SUCCESS);
  EXPECT_EQ(Free(a), EFI_SUCCESS);
  EXPECT_EQ(Free(a), EFI_INVALID_PARAMETER);
  ExpectViolation("double free");
}

TEST_F(PoolTest, FreeingAForeignPointerIsAViolation) {
  int local = 0;
  EXPECT_EQ(Free(&local), EFI_INVALID_PARAMETER);
  ExpectViolation("pointer not from AllocatePool");
  EXPECT_EQ(Free(nullptr), EFI_INVALID_PARAMETER);
  ExpectViolation("pointer not from AllocatePool");
  EXPECT_EQ(platform.Pool().Stats().bad_frees, 2u);
}

TEST_F(PoolTest, WritePastTheEndIsReportedAtFree) {
  VOID* a = nullptr;
  ASSERT_EQ(Allocate(16, &a), EFI_SUCCESS);
  static_cast<uint8_t*>(a)[16] = 0;
  Free(a);
  ExpectViolation("past the end (at offset 16) of pool buffer #1 (16 bytes");
}

TEST_F(PoolTest, WriteBeforeTheStartIsReportedAtTheEnd) {
  VOID* a = nullptr;
  ASSERT_EQ(Allocate(16, &a), EFI_SUCCESS);
  static_cast<uint8_t*>(a)[-1] = 0;
  platform.Pool().CheckGuards();
  ExpectViolation("before the start");
  // Restore the guard byte so the final free is clean.
  static_cast<uint8_t*>(a)[-1] = 0xFD;
  Free(a);
}

TEST_F(PoolTest, InvalidPoolTypeIsRefused) {
  VOID* a = nullptr;
  EXPECT_EQ(Allocate(8, &a, static_cast<EFI_MEMORY_TYPE>(99)), EFI_INVALID_PARAMETER);
  ExpectViolation("invalid pool type 99");
}

TEST_F(PoolTest, LeaksAreReportedWithNumberAndSize) {
  VOID* a = nullptr;
  VOID* b = nullptr;
  ASSERT_EQ(Allocate(10, &a), EFI_SUCCESS);
  ASSERT_EQ(Allocate(20, &b), EFI_SUCCESS);
  Free(a);
  sim::RunSummary summary = platform.FinishRun();
  ASSERT_EQ(summary.leaks.size(), 1u);
  EXPECT_EQ(summary.leaks[0], (sim::PoolLeak{2, 20, EfiBootServicesData}));
  ExpectViolation("pool leak: pool buffer #2 (20 bytes, pool type 4) never freed");
  // A second end of run reports nothing again but still counts the buffer.
  EXPECT_EQ(platform.FinishRun().leaks.size(), 1u);
  EXPECT_TRUE(platform.Violations().Empty());
  Free(b);
}

}  // namespace
