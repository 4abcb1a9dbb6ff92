// The emulator runner on small synthetic images: placement and relocation, trap calls in both conventions,
// the IDT base, MMIO forwarding, instruction and stack counts, and every fault it must stop and report.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "sim/common/mmio_bus.h"
#include "sim/image/image_machine.h"
#include "sim/image/placed_image.h"
#include "tests/sim/image/synthetic_pe.h"

namespace {

using simtest::SyntheticPe;

// IA-32 snippets, one after the other in .text (offsets below).
const std::vector<uint8_t> kCode32 = {
    0xa1, 0x00, 0x20, 0x00, 0x10, 0xc3, 0x8b, 0x4c, 0x24, 0x04, 0x8b, 0x54, 0x24, 0x08, 0x6a, 0x07, 0x52, 0xff,
    0xd1, 0x83, 0xc4, 0x08, 0x83, 0xc0, 0x01, 0xc3, 0x83, 0xec, 0x08, 0x0f, 0x01, 0x0c, 0x24, 0x8b, 0x44, 0x24,
    0x02, 0x83, 0xc4, 0x08, 0xc3, 0x50, 0x50, 0x58, 0x58, 0xc3, 0xa1, 0x10, 0x00, 0x00, 0xe0, 0xc7, 0x05, 0x20,
    0x00, 0x00, 0xe0, 0xab, 0x00, 0x00, 0x00, 0xc3, 0xc7, 0x05, 0x00, 0x30, 0x00, 0x10, 0x01, 0x00, 0x00, 0x00,
    0xc3, 0xb8, 0x00, 0x20, 0x00, 0x10, 0xff, 0xe0, 0xa1, 0x10, 0x00, 0x00, 0x00, 0xc3, 0xeb, 0xfe};
constexpr uint32_t kReadRdata = 0x00;  // mov eax, [.rdata]; ret
constexpr uint32_t kCallTrap = 0x06;   // trap(arg1, 7) + 1, trap = arg0
constexpr uint32_t kReadIdt = 0x1a;    // sidt; return the base
constexpr uint32_t kPushPop = 0x29;    // push, push, pop, pop, ret
constexpr uint32_t kMmio = 0x2e;       // read 0xE0000010, write 0xAB to 0xE0000020
constexpr uint32_t kWriteData = 0x3e;  // mov dword [.data], 1
constexpr uint32_t kJumpRdata = 0x49;  // jmp .rdata
constexpr uint32_t kReadLow = 0x50;    // mov eax, [0x10]
constexpr uint32_t kSpin = 0x56;       // jmp $

// x86-64 snippets.
const std::vector<uint8_t> kCode64 = {
    0x48, 0x83, 0xec, 0x38, 0x48, 0x89, 0xc8, 0x48, 0xc7, 0x44, 0x24, 0x20, 0x05, 0x00, 0x00, 0x00, 0x48,
    0xc7, 0x44, 0x24, 0x28, 0x06, 0x00, 0x00, 0x00, 0xb9, 0x01, 0x00, 0x00, 0x00, 0xba, 0x02, 0x00, 0x00,
    0x00, 0x41, 0xb8, 0x03, 0x00, 0x00, 0x00, 0x41, 0xb9, 0x04, 0x00, 0x00, 0x00, 0xff, 0xd0, 0x48, 0x83,
    0xc4, 0x38, 0xc3, 0x48, 0xb8, 0x00, 0x20, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x8b, 0x00, 0xc3, 0x48,
    0xb8, 0x00, 0x20, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0xc7, 0x00, 0x01, 0x00, 0x00, 0x00, 0xc3};
constexpr uint32_t kCallTrap64 = 0x00;  // trap(1, 2, 3, 4, 5, 6), trap = rcx
constexpr uint32_t kReadRdata64 = 0x36;
constexpr uint32_t kWriteRdata64 = 0x43;

SyntheticPe Image32() {
  SyntheticPe pe;
  pe.text = kCode32;
  pe.rdata = simtest::Le(0x12345678, 4);
  pe.data = simtest::Le(0, 4);
  pe.text_fixups = {kReadRdata + 1, kWriteData + 2, kJumpRdata + 1};
  return pe;
}

SyntheticPe Image64() {
  SyntheticPe pe;
  pe.is64 = true;
  pe.text = kCode64;
  pe.rdata = simtest::Le(0x0BADF00D, 4);
  pe.data = simtest::Le(0, 4);
  pe.text_fixups = {kReadRdata64 + 2, kWriteRdata64 + 2};
  return pe;
}

std::unique_ptr<sim::PlacedImage> Place(const SyntheticPe& pe, std::optional<uint64_t> base = std::nullopt) {
  sim::PlaceResult r = sim::PlaceImage(simtest::BuildPe(pe), base);
  EXPECT_TRUE(r.image) << r.error;
  return std::move(r.image);
}

// A device that records what reaches it.
class Register : public sim::MmioRegion {
 public:
  uint64_t Read(uint64_t offset, unsigned width) override {
    reads.push_back({offset, width, 0, false});
    return 0x5A5A0000u | offset;
  }
  void Write(uint64_t offset, unsigned width, uint64_t value) override {
    writes.push_back({offset, width, value, true});
  }
  std::vector<sim::MmioAccess> reads, writes;
};

class Machine32 : public ::testing::Test {
 protected:
  void SetUp() override {
    image = Place(Image32(), 0x20000000);
    ASSERT_TRUE(image);
    machine = std::make_unique<sim::ImageMachine>(*image);
  }
  uint64_t Code(uint32_t offset) const { return image->Base() + 0x1000 + offset; }

  std::unique_ptr<sim::PlacedImage> image;
  std::unique_ptr<sim::ImageMachine> machine;
};

TEST_F(Machine32, AnImagePlacedAwayFromItsLinkAddressReadsItsDataThroughTheRelocatedAddress) {
  EXPECT_EQ(image->Base(), 0x20000000u);
  EXPECT_EQ(image->Fixups(), 3u);
  const sim::GuestCallResult r = machine->Call(Code(kReadRdata), {});
  ASSERT_TRUE(r.completed) << r.fault;
  EXPECT_EQ(r.value, 0x12345678u);
}

TEST_F(Machine32, ATrapReceivesTheCdeclArgumentsAndItsResultReachesTheCaller) {
  std::vector<uint64_t> seen;
  const uint64_t trap = machine->AddTrap("test service", [&](const sim::TrapCall& c) {
    seen = {c.Arg(0), c.Arg(1)};
    return c.Arg(0) * 100 + c.Arg(1);
  });
  const sim::GuestCallResult r = machine->Call(Code(kCallTrap), {trap, 5});
  ASSERT_TRUE(r.completed) << r.fault;
  EXPECT_EQ(seen, (std::vector<uint64_t>{5, 7}));
  EXPECT_EQ(r.value, 508u);
}

TEST_F(Machine32, SidtReportsTheIdtBaseTheMachineWasGiven) {
  machine->SetIdtBase(0x00345670);
  const sim::GuestCallResult r = machine->Call(Code(kReadIdt), {});
  ASSERT_TRUE(r.completed) << r.fault;
  EXPECT_EQ(r.value, 0x00345670u);
}

TEST_F(Machine32, CountsEveryInstructionAndTheDeepestStack) {
  const sim::GuestCallResult r = machine->Call(Code(kPushPop), {});
  ASSERT_TRUE(r.completed) << r.fault;
  EXPECT_EQ(r.instructions, 5u);
  EXPECT_EQ(r.stack_used, 8u);
  EXPECT_EQ(machine->Call(Code(kPushPop), {}).instructions, 5u);
}

TEST_F(Machine32, MmioAccessesReachTheBusDeviceWithTheirWidthsAndValues) {
  sim::Violations violations;
  sim::MmioBus bus(violations);
  Register device;
  bus.Map(0xE0000000, 0x1000, &device, "test register block");
  machine->MapBus(bus);
  const sim::GuestCallResult r = machine->Call(Code(kMmio), {});
  ASSERT_TRUE(r.completed) << r.fault;
  EXPECT_EQ(r.value, 0x5A5A0010u);
  ASSERT_EQ(device.reads.size(), 1u);
  EXPECT_EQ(device.reads[0].width, 4u);
  ASSERT_EQ(device.writes.size(), 1u);
  EXPECT_EQ(device.writes[0], (sim::MmioAccess{0x20, 4, 0xAB, true}));
}

TEST_F(Machine32, FlashMappedReadOnlyAtAnotherAddressIsReadAndNeverWritten) {
  // 4 KiB of "flash" in host memory, seen by the guest at 0xE0000000: the read returns its bytes, the write faults.
  std::vector<uint32_t> flash(1024, 0);
  void* host = aligned_alloc(4096, 4096);
  std::memcpy(host, flash.data(), 4096);
  const uint32_t word = 0x600DF1A5;
  std::memcpy(static_cast<uint8_t*>(host) + 0x10, &word, 4);
  machine->MapReadOnly(0xE0000000, host, 4096, "the firmware volume (flash)");
  const sim::GuestCallResult r = machine->Call(Code(kMmio), {});
  EXPECT_FALSE(r.completed);
  EXPECT_NE(r.fault.find("wrote 4 bytes (value 0xAB) to 0xE0000020 in the firmware volume (flash), which is read-only"),
            std::string::npos)
      << r.fault;
  uint32_t seen = 0;
  EXPECT_TRUE(machine->ReadGuest(0xE0000010, &seen, 4));
  EXPECT_EQ(seen, word);
  EXPECT_FALSE(machine->WriteGuest(0xE0000010, &word, 4));
  uint32_t after;
  std::memcpy(&after, static_cast<uint8_t*>(host) + 0x20, 4);
  EXPECT_EQ(after, 0u);
  free(host);
}

TEST_F(Machine32, AStopAddressEndsTheCallWithItsMessage) {
  machine->AddStop(Code(kPushPop) + 2, [](const sim::TrapCall&) { return std::string("stopped here"); });
  const sim::GuestCallResult r = machine->Call(Code(kPushPop), {});
  EXPECT_FALSE(r.completed);
  EXPECT_TRUE(r.stopped);
  EXPECT_EQ(r.fault, "stopped here");
}

// Faults: each stops the call, names the guest address and what was tried, and leaves the machine usable.
TEST_F(Machine32, AnImageExecutingInPlaceMayNotWriteItsOwnData) {
  const sim::GuestCallResult r = machine->Call(Code(kWriteData), {});
  EXPECT_FALSE(r.completed);
  EXPECT_NE(r.fault.find("wrote 4 bytes (value 0x1) to 0x20003000 in the image's section .data"), std::string::npos)
      << r.fault;
  EXPECT_NE(r.fault.find("executing in place"), std::string::npos) << r.fault;
  EXPECT_TRUE(machine->Call(Code(kReadRdata), {}).completed);
}

TEST_F(Machine32, ExecutingDataOutsideTheCodeIsStopped) {
  const sim::GuestCallResult r = machine->Call(Code(kJumpRdata), {});
  EXPECT_FALSE(r.completed);
  EXPECT_NE(r.fault.find("executed at 0x20002000, outside its code, in the image's section .rdata"), std::string::npos)
      << r.fault;
}

TEST_F(Machine32, AReadOfUnmappedMemoryIsStoppedWithItsAddress) {
  const sim::GuestCallResult r = machine->Call(Code(kReadLow), {});
  EXPECT_FALSE(r.completed);
  EXPECT_NE(r.fault.find("read 4 bytes at 0x10, which nothing maps"), std::string::npos) << r.fault;
}

TEST_F(Machine32, AHangEndsAtTheInstructionBudget) {
  machine->SetInstructionBudget(1000);
  const sim::GuestCallResult r = machine->Call(Code(kSpin), {});
  EXPECT_FALSE(r.completed);
  EXPECT_EQ(r.instructions, 1001u);
  EXPECT_NE(r.fault.find("ran past its budget of 1000 instructions"), std::string::npos) << r.fault;
}

TEST_F(Machine32, ACallToAnAddressOutsideTheImageIsStopped) {
  const sim::GuestCallResult r = machine->Call(0x30000000, {});
  EXPECT_FALSE(r.completed);
  EXPECT_NE(r.fault.find("0x30000000"), std::string::npos) << r.fault;
}

TEST(Machine64, ATrapReceivesTheMicrosoftConventionArgumentsInRegistersAndOnTheStack) {
  auto image = Place(Image64());
  ASSERT_TRUE(image);
  sim::ImageMachine machine(*image);
  const uint64_t trap = machine.AddTrap("test service", [](const sim::TrapCall& c) {
    uint64_t v = 0;
    for (unsigned i = 6; i-- > 0;) v = v * 10 + c.Arg(i);
    return v;
  });
  const sim::GuestCallResult r = machine.Call(image->Base() + 0x1000 + kCallTrap64, {trap});
  ASSERT_TRUE(r.completed) << r.fault;
  EXPECT_EQ(r.value, 654321u);
}

TEST(Machine64, ADriverPlacedAtAChosenAddressIsRelocatedAndItsReadOnlyDataIsProtected) {
  auto image = Place(Image64(), 0x7F0000000000ull);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->Base(), 0x7F0000000000ull);
  sim::ImageMachine machine(*image);
  const sim::GuestCallResult read = machine.Call(image->Base() + 0x1000 + kReadRdata64, {});
  ASSERT_TRUE(read.completed) << read.fault;
  EXPECT_EQ(read.value, 0x0BADF00Du);
  const sim::GuestCallResult write = machine.Call(image->Base() + 0x1000 + kWriteRdata64, {});
  EXPECT_FALSE(write.completed);
  EXPECT_NE(write.fault.find("to 0x7F0000002000 in the image's section .rdata, which is read-only"), std::string::npos)
      << write.fault;
}

// Refusals: nothing is placed or run.
TEST(PlaceImage, RefusesTruncatedCorruptAndUnrelocatableImages) {
  std::vector<uint8_t> good = simtest::BuildPe(Image32());
  ASSERT_TRUE(sim::PlaceImage(good).image);
  std::vector<uint8_t> truncated(good.begin(), good.begin() + 0x300);
  EXPECT_FALSE(sim::PlaceImage(truncated).image);
  std::vector<uint8_t> machine = good;
  machine[0x44] = 0xC4;  // ARM machine type
  EXPECT_NE(sim::PlaceImage(machine).error.find("machine type"), std::string::npos);
  SyntheticPe entry = Image32();
  entry.entry = 0x4000;  // past .text
  EXPECT_NE(sim::PlaceImage(simtest::BuildPe(entry)).error.find("entry point"), std::string::npos);
  SyntheticPe fixed = Image32();
  fixed.text_fixups.clear();
  EXPECT_NE(sim::PlaceImage(simtest::BuildPe(fixed)).error.find("no base relocations"), std::string::npos);
  EXPECT_NE(sim::PlaceImage(good, 0x20000001).error.find("page-aligned"), std::string::npos);
}

}  // namespace
