// Host pages for what an emulated image sees at its own address: below 4 GiB, never over a reserved range (where
// the guest reaches a device), moved next to a range when the wanted place or the kernel's choice lies on it, and
// none at all when no such room is left.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <vector>

#include "sim/common/host_pages.h"

namespace {

constexpr uint64_t kMiB = 1 << 20;

uint64_t At(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// A free place below 4 GiB with `size` bytes of room (found by mapping it and giving it back).
uint64_t FreePlace(size_t size) {
  void* p = sim::MapBelow4GiB(size);
  EXPECT_NE(p, nullptr);
  munmap(p, size);
  return At(p);
}

TEST(HostPages, APreferredPlaceIsKeptOrMovedJustBelowOrElseAboveTheRangesItMeets) {
  struct Row {
    const char* what;
    std::vector<sim::ReservedRange> reserved;  // relative to the preferred place, 32 MiB into a free stretch
    uint64_t expected;                         // offset from the preferred place
  };
  const size_t size = 64 * 1024;
  const Row rows[] = {
      {"no range", {}, 0},
      {"a range elsewhere", {{8 * kMiB, kMiB, "after"}}, 0},
      {"a range on it", {{0, kMiB, "on"}}, 0 - size},
      {"a range starting mid-page below it", {{0 - uint64_t{0x800}, kMiB, "on"}}, 0 - size - 0x1000},
      {"two ranges one below the other", {{0 - kMiB, kMiB, "lower"}, {0, kMiB, "upper"}}, 0 - kMiB - size},
      {"no room below: above the range", {{0 - 32 * kMiB, 33 * kMiB, "down to the stretch's start"}}, kMiB},
      {"no room below, two ranges: above both",
       {{0 - 32 * kMiB, 33 * kMiB, "first"}, {kMiB, 0x1800, "second"}},
       kMiB + 0x2000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const uint64_t preferred = FreePlace(64 * kMiB) + 32 * kMiB;
    std::vector<sim::ReservedRange> reserved = row.reserved;
    for (sim::ReservedRange& r : reserved) r.base += preferred;
    // The stretch's start: nothing below it may be free, so the row's "no room below" holds.
    reserved.push_back({0, preferred - 32 * kMiB, "everything below the stretch"});
    void* p = sim::MapBelow4GiB(size, reserved, preferred);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(At(p) - preferred, row.expected);
    EXPECT_EQ(sim::OverlappedRange(At(p), size, reserved), nullptr);
    munmap(p, size);
  }
}

TEST(HostPages, WhereTheKernelWouldPutThemIsReservedSoTheyGoElsewhereBelow4GiB) {
  const size_t size = 256 * 1024;
  const uint64_t choice = FreePlace(size);
  // The kernel's choice and 64 MiB around it, as a low configuration window would be.
  const sim::ReservedRange reserved[] = {{choice - 32 * kMiB, 64 * kMiB, "PCI configuration window"}};
  void* p = sim::MapBelow4GiB(size, reserved);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(sim::OverlappedRange(At(p), size, reserved), nullptr) << At(p);
  EXPECT_LE(At(p) + size, sim::k4GiB);
  static_cast<uint8_t*>(p)[size - 1] = 1;  // writable, the whole size
  munmap(p, size);
}

TEST(HostPages, WhenEveryPlaceBelow4GiBIsReservedThereAreNone) {
  const sim::ReservedRange all[] = {{0, sim::k4GiB, "a window over all of it"}};
  EXPECT_EQ(sim::MapBelow4GiB(4096, all), nullptr);
  // Two ranges leaving only a hole smaller than the request.
  const sim::ReservedRange holed[] = {{0, 0x80000000, "low"}, {0x80001000, 0x7FFFF000, "high"}};
  EXPECT_EQ(sim::MapBelow4GiB(0x2000, holed), nullptr);
  EXPECT_EQ(sim::MapBelow4GiB(0, {}), nullptr);
}

TEST(HostPages, AnExactPlaceIsTakenOnlyWhenFree) {
  void* p = sim::MapBelow4GiB(4096);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(sim::MapPagesAt(At(p), 4096), nullptr);  // taken by the mapping above
  munmap(p, 4096);
  void* again = sim::MapPagesAt(At(p), 4096);
  EXPECT_EQ(again, p);
  munmap(again, 4096);
}

}  // namespace
