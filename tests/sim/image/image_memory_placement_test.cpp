// The emulator's own memory (stack, trap slots, the simulator's tables) lies below 4 GiB clear of the platform's
// reserved ranges, wherever the kernel would have put it; with no such room the machine says so and runs nothing,
// and the PEI runner refuses the image with that reason instead of aborting.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/image/image_machine.h"
#include "sim/image/peim_image_run.h"
#include "sim/image/placed_image.h"
#include "tests/sim/image/synthetic_pe.h"

namespace {

constexpr uint64_t kMiB = 1 << 20;

// .text: `trap()` then `mov eax, esp`: calls its first argument and returns the stack pointer it had.
std::unique_ptr<sim::PlacedImage> TrapCaller() {
  simtest::SyntheticPe pe;
  pe.text = {0x8B, 0x44, 0x24, 0x04, 0xFF, 0xD0, 0x89, 0xE0, 0xC3};  // mov eax, [esp+4]; call eax; mov eax, esp; ret
  pe.rdata = {0};
  pe.data = {0};
  pe.text_fixups = {0x100};
  pe.text.resize(0x104, 0x90);
  sim::PlaceResult r = sim::PlaceImage(simtest::BuildPe(pe));
  EXPECT_TRUE(r.image) << r.error;
  return std::move(r.image);
}

// Where one machine's memory landed: its tables, its trap slot, its stack (as the guest saw it).
struct Landing {
  uint64_t tables = 0, trap = 0, stack = 0;
  bool ran = false;
};

Landing RunOnce(const sim::PlacedImage& image, std::span<const sim::ReservedRange> reserved) {
  sim::ImageMachine machine(image, 64 * 1024, reserved);
  EXPECT_EQ(machine.PlacementError(), "");
  Landing l;
  l.tables = reinterpret_cast<uintptr_t>(machine.Arena().base());
  bool trapped = false;
  l.trap = machine.AddTrap("test service", [&](const sim::TrapCall&) {
    trapped = true;
    return 0;
  });
  const sim::GuestCallResult r = machine.Call(image.Entry(), {l.trap});
  EXPECT_TRUE(r.completed) << r.fault;
  l.stack = r.value;
  l.ran = r.completed && trapped;
  return l;
}

TEST(ImageMemoryPlacement, TheMachinesMemoryAvoidsRangesOverWhereItLandedBefore) {
  std::unique_ptr<sim::PlacedImage> image = TrapCaller();
  ASSERT_TRUE(image);
  const Landing before = RunOnce(*image, {});
  ASSERT_TRUE(before.ran);
  // A window over each place, as a board's configuration window at a low address would be.
  const std::vector<sim::ReservedRange> reserved = {{before.tables / kMiB * kMiB, 2 * kMiB, "window over the tables"},
                                                    {before.trap / kMiB * kMiB, kMiB, "window over the traps"},
                                                    {before.stack / kMiB * kMiB, kMiB, "window over the stack"}};
  const Landing after = RunOnce(*image, reserved);
  EXPECT_TRUE(after.ran);
  EXPECT_EQ(sim::OverlappedRange(after.tables, 1 << 20, reserved), nullptr) << after.tables;
  EXPECT_EQ(sim::OverlappedRange(after.trap, 1, reserved), nullptr) << after.trap;
  EXPECT_EQ(sim::OverlappedRange(after.stack - 256, 256, reserved), nullptr) << after.stack;
  for (uint64_t at : {after.tables, after.trap, after.stack}) EXPECT_LT(at, sim::k4GiB);
}

TEST(ImageMemoryPlacement, WithNoRoomBelow4GiBTheMachineSaysSoAndRunsNothing) {
  std::unique_ptr<sim::PlacedImage> image = TrapCaller();
  ASSERT_TRUE(image);
  const sim::ReservedRange all[] = {{0, sim::k4GiB, "a window over all of it"}};
  sim::ImageMachine machine(*image, 64 * 1024, all);
  EXPECT_EQ(machine.PlacementError(), "no room below 4 GiB clear of the platform's windows for the simulator's tables");
  const sim::GuestCallResult r = machine.Call(image->Entry(), {0});
  EXPECT_FALSE(r.completed);
  EXPECT_EQ(r.fault, machine.PlacementError());
  EXPECT_EQ(r.instructions, 0u);
}

TEST(ImageMemoryPlacement, ThePeiRunnerRefusesAnImageWhenItsMemoryHasNoRoom) {
  sim::TracePlatform platform;
  std::string error;
  EXPECT_EQ(sim::PeimImageRun::CreatePlaced(platform, TrapCaller(), "", error, {{0, sim::k4GiB, "flash"}}), nullptr);
  EXPECT_NE(error.find("no room below 4 GiB clear of the platform's windows"), std::string::npos) << error;
  EXPECT_TRUE(platform.violations().Messages().empty());
}

// The PEI platform's own below-4-GiB memory (the SiliconContext, the record arena) stays off its windows too.
TEST(ImageMemoryPlacement, ThePeiPlatformsOwnMemoryAvoidsAConfigurationWindowOverIt) {
  uint64_t context = 0, records = 0;
  {
    sim::TracePlatform probe;
    context = probe.pei().silicon_context().address();
    records = reinterpret_cast<uintptr_t>(probe.records().base());
  }
  for (uint64_t over : {context, records}) {
    SCOPED_TRACE(over);
    sim::TracePlatformConfig config;
    config.pei.config_windows[0].base = over / (256 * kMiB) * (256 * kMiB);
    sim::TracePlatform platform(config);
    const std::vector<sim::ReservedRange> windows = sim::BusRanges(platform.pei().bus());
    EXPECT_EQ(sim::OverlappedRange(platform.pei().silicon_context().address(), platform.pei().silicon_context().size(),
                                   windows),
              nullptr);
    EXPECT_EQ(sim::OverlappedRange(reinterpret_cast<uintptr_t>(platform.records().base()),
                                   platform.records().capacity(), windows),
              nullptr);
  }
}

}  // namespace
