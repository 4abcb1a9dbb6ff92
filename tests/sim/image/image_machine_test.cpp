// The emulator runner on small synthetic images: placement and relocation, trap calls in both conventions,
// the IDT base, MMIO forwarding, instruction, stack and block counts, snapshots and their restore, every fault it
// must stop and report; and the block record of a run of the built PEI image.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "sim/common/hex_text.h"
#include "sim/common/mmio_bus.h"
#include "sim/image/guest_arena.h"
#include "sim/image/image_machine.h"
#include "sim/image/peim_image_run.h"
#include "sim/image/placed_image.h"
#include "tests/sim/image/peim_code.h"
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
    0x48, 0x83, 0xec, 0x38, 0x48, 0x89, 0xc8, 0x48, 0xc7, 0x44, 0x24, 0x20, 0x05, 0x00, 0x00, 0x00, 0x48, 0xc7,
    0x44, 0x24, 0x28, 0x06, 0x00, 0x00, 0x00, 0xb9, 0x01, 0x00, 0x00, 0x00, 0xba, 0x02, 0x00, 0x00, 0x00, 0x41,
    0xb8, 0x03, 0x00, 0x00, 0x00, 0x41, 0xb9, 0x04, 0x00, 0x00, 0x00, 0xff, 0xd0, 0x48, 0x83, 0xc4, 0x38, 0xc3,
    0x48, 0xb8, 0x00, 0x20, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x8b, 0x00, 0xc3, 0x48, 0xb8, 0x00, 0x20, 0x00,
    0x10, 0x00, 0x00, 0x00, 0x00, 0xc7, 0x00, 0x01, 0x00, 0x00, 0x00, 0xc3, 0x48, 0x8b, 0x01, 0xc3};
constexpr uint32_t kCallTrap64 = 0x00;  // trap(1, 2, 3, 4, 5, 6), trap = rcx
constexpr uint32_t kReadRdata64 = 0x36;
constexpr uint32_t kWriteRdata64 = 0x43;
constexpr uint32_t kReadThrough64 = 0x54;  // mov rax, [rcx]; ret

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
  machine->SetExactCounting(true);
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

TEST_F(Machine32, CodeInTheWritableTablesIsNeverRun) {
  // mov dword [marker], 1; ret, written into the arena: the call stops before the store happens.
  uint8_t* code = machine->Arena().Allocate(16);
  uint8_t* marker = machine->Arena().Allocate(4);
  const uint32_t target = sim::GuestArena::Address32(marker);
  const uint8_t store[] = {0xc7, 0x05, 0, 0, 0, 0, 0x01, 0x00, 0x00, 0x00, 0xc3};
  std::memcpy(code, store, sizeof store);
  std::memcpy(code + 2, &target, 4);
  const uint64_t at = sim::GuestArena::Address32(code);
  const sim::GuestCallResult r = machine->Call(at, {});
  EXPECT_FALSE(r.completed);
  EXPECT_NE(r.fault.find("executed at " + sim::Hex(at) + ", outside its code, in the simulator's tables"),
            std::string::npos)
      << r.fault;
  EXPECT_EQ(marker[0], 0u);
}

TEST_F(Machine32, AReadOfUnmappedMemoryIsStoppedWithItsAddress) {
  const sim::GuestCallResult r = machine->Call(Code(kReadLow), {});
  EXPECT_FALSE(r.completed);
  EXPECT_NE(r.fault.find("read 4 bytes at 0x10, which nothing maps"), std::string::npos) << r.fault;
}

TEST_F(Machine32, AHangEndsAtTheInstructionBudget) {
  machine->SetExactCounting(true);
  machine->SetInstructionBudget(1000);
  const sim::GuestCallResult r = machine->Call(Code(kSpin), {});
  EXPECT_FALSE(r.completed);
  EXPECT_EQ(r.instructions, 1001u);
  EXPECT_NE(r.fault.find("ran past its budget of 1000 instructions"), std::string::npos) << r.fault;
}

TEST_F(Machine32, WithoutExactCountingAHangStillEndsAtTheBudgetCountedInBlocks) {
  machine->SetInstructionBudget(1000);
  const sim::GuestCallResult r = machine->Call(Code(kSpin), {});
  EXPECT_FALSE(r.completed);
  EXPECT_EQ(r.blocks, 1001u);  // jmp $ is a block of one instruction
  EXPECT_EQ(r.instructions, 0u);
  EXPECT_NE(r.fault.find("ran past its budget of 1000 instructions (a hang)"), std::string::npos) << r.fault;
}

// Block counting: each executed block of the image adds one at its image-relative start; trap slots add nothing.
TEST_F(Machine32, EachExecutedImageBlockIsCountedAtItsImageRelativeStart) {
  std::vector<uint8_t> counters(0x10000, 0);
  machine->SetBlockCounters(counters.data(), counters.size());
  const uint64_t trap = machine->AddTrap("test service", [](const sim::TrapCall&) { return 0; });
  ASSERT_TRUE(machine->Call(Code(kPushPop), {}).completed);
  ASSERT_TRUE(machine->Call(Code(kPushPop), {}).completed);
  const sim::GuestCallResult r = machine->Call(Code(kCallTrap), {trap, 5});
  ASSERT_TRUE(r.completed) << r.fault;
  EXPECT_EQ(r.blocks, 2u);  // up to the call, and after its return
  EXPECT_EQ(counters[0x1000 + kPushPop], 2u);
  EXPECT_EQ(counters[0x1000 + kCallTrap], 1u);
  EXPECT_EQ(counters[0x1000 + kCallTrap + 13], 1u);  // the return address: add esp, 8
  unsigned total = 0;
  for (uint8_t c : counters) total += c;
  EXPECT_EQ(total, 4u);
}

// Snapshots: a restore forgets what was added since and copies back what the guest or host changed.
TEST_F(Machine32, ARestoreForgetsTrapsStopsAndTheCpuStateOfLaterRuns) {
  machine->SetIdtBase(0x00345670);
  machine->TakeSnapshot();
  const uint64_t trap = machine->AddTrap("later service", [](const sim::TrapCall& c) { return c.Arg(0); });
  ASSERT_TRUE(machine->Call(Code(kCallTrap), {trap, 5}).completed);
  machine->AddStop(Code(kPushPop) + 2, [](const sim::TrapCall&) { return std::string("stopped here"); });
  machine->SetIdtBase(0x00999990);
  EXPECT_TRUE(machine->Call(Code(kPushPop), {}).stopped);
  machine->Restore();
  const sim::GuestCallResult gone = machine->Call(Code(kCallTrap), {trap, 5});
  EXPECT_FALSE(gone.completed);
  EXPECT_NE(gone.fault.find("outside its code, in the platform's service traps"), std::string::npos) << gone.fault;
  EXPECT_TRUE(machine->Call(Code(kPushPop), {}).completed);
  const sim::GuestCallResult idt = machine->Call(Code(kReadIdt), {});
  ASSERT_TRUE(idt.completed) << idt.fault;
  EXPECT_EQ(idt.value, 0x00345670u);
  machine->Restore();
  EXPECT_EQ(machine->AddTrap("the next run's service", [](const sim::TrapCall&) { return 0; }), trap);
}

TEST_F(Machine32, ARestoreCopiesBackOnlyTheChangedPagesOfTheArenaAndStack) {
  machine->TakeSnapshot();
  uint8_t* first = machine->Arena().Allocate(16);
  first[0] = 1;
  first[8192] = 2;                                           // a third page of the arena
  ASSERT_TRUE(machine->Call(Code(kPushPop), {}).completed);  // the stack's top page
  machine->Restore();
  EXPECT_EQ(machine->RestoredPages(), 3u);
  EXPECT_EQ(first[0], 0u);
  EXPECT_EQ(first[8192], 0u);
  EXPECT_EQ(machine->Arena().Allocate(16), first);
  machine->Restore();
  EXPECT_EQ(machine->RestoredPages(), 0u);
}

TEST_F(Machine32, HostMemoryMappedAfterTheSnapshotIsOutOfReachAfterARestore) {
  machine->TakeSnapshot();
  void* page = sim::MapBelow4GiB(4096);
  ASSERT_NE(page, nullptr);
  const uint64_t at = reinterpret_cast<uintptr_t>(page);
  std::memset(page, 0x5A, 4096);
  machine->MapHost(page, 4096, true, "a later run's record");
  uint32_t seen = 0;
  EXPECT_TRUE(machine->ReadGuest(at, &seen, 4));
  EXPECT_EQ(seen, 0x5A5A5A5Au);
  machine->Restore();
  EXPECT_FALSE(machine->Reach().Find(at));
  ASSERT_TRUE(machine->Call(Code(kPushPop), {}).completed);  // mappings not made again are dropped here
  EXPECT_FALSE(machine->ReadGuest(at, &seen, 4));
  // Mapped again after a restore, the same memory is reached again.
  machine->Restore();
  machine->MapHost(page, 4096, false, "the next run's record");
  ASSERT_TRUE(machine->Call(Code(kPushPop), {}).completed);
  EXPECT_TRUE(machine->ReadGuest(at, &seen, 4));
  EXPECT_TRUE(machine->Reach().Find(at));
  munmap(page, 4096);
}

TEST_F(Machine32, AnMmioWindowMappedAgainAfterARestoreServesTheNewBusOnly) {
  machine->TakeSnapshot();
  sim::Violations violations;
  sim::MmioBus first_bus(violations), second_bus(violations);
  Register first, second;
  first_bus.Map(0xE0000000, 0x1000, &first, "test register block");
  second_bus.Map(0xE0000000, 0x1000, &second, "test register block");
  machine->MapBus(first_bus);
  ASSERT_TRUE(machine->Call(Code(kMmio), {}).completed);
  machine->Restore();
  machine->MapBus(second_bus);
  const sim::GuestCallResult r = machine->Call(Code(kMmio), {});
  ASSERT_TRUE(r.completed) << r.fault;
  EXPECT_EQ(first.reads.size(), 1u);
  EXPECT_EQ(first.writes.size(), 1u);
  EXPECT_EQ(second.reads.size(), 1u);
  EXPECT_EQ(second.writes.size(), 1u);
  machine->Restore();  // no bus mapped for this run
  const sim::GuestCallResult none = machine->Call(Code(kMmio), {});
  EXPECT_FALSE(none.completed);
  EXPECT_NE(none.fault.find("read 4 bytes at 0xE0000010, which nothing maps"), std::string::npos) << none.fault;
  EXPECT_EQ(second.reads.size(), 1u);
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

TEST(Machine64, ARestoreGivesTheDriverItsWritableDataAsAtTheSnapshot) {
  auto image = Place(Image64());
  ASSERT_TRUE(image);
  sim::ImageMachine machine(*image);
  const sim::PlacedSection* data = nullptr;
  for (const sim::PlacedSection& sec : image->Sections()) {
    if (sec.name == ".data") data = &sec;
  }
  ASSERT_NE(data, nullptr);
  machine.TakeSnapshot();
  const uint32_t changed = 0xC0FFEE;
  ASSERT_TRUE(machine.WriteGuest(data->start, &changed, 4));
  machine.Restore();
  EXPECT_EQ(machine.RestoredPages(), 1u);
  uint32_t seen = 1;
  ASSERT_TRUE(machine.ReadGuest(data->start, &seen, 4));
  EXPECT_EQ(seen, 0u);
}

// A platform that hands the guest no host services: only the memory lent to it.
class NoServices : public sim::HostServiceGate {
 public:
  bool IsService(uint64_t) const override { return false; }
  uint64_t Call(uint64_t, const sim::TrapCall&, std::string& refusal) override {
    refusal = "no services";
    return 0;
  }
};

// Host memory a run lent stays mapped behind checked accesses after a restore (with the free pages around it),
// so each run must still reach exactly what it is lent: inputs that lend one heap buffer, the other or none and
// read one of them give in any order what each gives on a fresh machine.
TEST(Machine64, KeptHostMappingsReachOnlyWhatEachRunLendsInEveryOrder) {
  auto image = Place(Image64());
  ASSERT_TRUE(image);
  auto first = std::make_unique<uint64_t[]>(512), second = std::make_unique<uint64_t[]>(512);
  first[3] = 0x1111222233334444ull;
  second[3] = 0x5555666677778888ull;
  const uint64_t a = reinterpret_cast<uintptr_t>(&first[3]), b = reinterpret_cast<uintptr_t>(&second[3]);
  struct Input {
    std::vector<uint64_t> lent;  // the buffers' words lent for the run
    uint64_t read;
  };
  const std::vector<Input> inputs = {{{a}, a}, {{b}, a}, {{}, b}, {{a, b}, b}};
  struct Outcome {
    bool completed;
    uint64_t value;
    bool bad_read;  // a fault that names the read at the input's address
  };
  auto run = [&](sim::ImageMachine& machine, const Input& in) {
    for (uint64_t at : in.lent) machine.Reach().Lend(at, 8, false, "a heap word");
    const sim::GuestCallResult r = machine.Call(image->Base() + 0x1000 + kReadThrough64, {in.read});
    // A checked mapping sees the 8-byte load as two 4-byte accesses, the first of which fails.
    const bool bad_read =
        r.fault.rfind("the image read ", 0) == 0 && r.fault.find(" bytes at " + sim::Hex(in.read)) != std::string::npos;
    return Outcome{r.completed, r.completed ? r.value : 0, bad_read};
  };
  NoServices gate;
  std::vector<Outcome> alone;
  for (const Input& in : inputs) {
    sim::ImageMachine fresh(*image);
    fresh.ShareHostMemory(gate);
    alone.push_back(run(fresh, in));
  }
  ASSERT_TRUE(alone[0].completed);
  EXPECT_EQ(alone[0].value, first[3]);
  EXPECT_TRUE(!alone[1].completed && alone[1].bad_read);
  EXPECT_TRUE(!alone[2].completed && alone[2].bad_read);
  ASSERT_TRUE(alone[3].completed);
  EXPECT_EQ(alone[3].value, second[3]);
  for (const std::vector<size_t>& order : {std::vector<size_t>{0, 1, 2, 3, 0}, std::vector<size_t>{3, 2, 1, 0, 3}}) {
    sim::ImageMachine machine(*image);
    machine.ShareHostMemory(gate);
    machine.TakeSnapshot();
    for (size_t i : order) {
      SCOPED_TRACE("input " + std::to_string(i) + " of the order starting with " + std::to_string(order[0]));
      machine.Restore();
      const Outcome o = run(machine, inputs[i]);
      EXPECT_EQ(o.completed, alone[i].completed);
      EXPECT_EQ(o.value, alone[i].value);
      EXPECT_EQ(o.bad_read, alone[i].bad_read);
    }
  }
}

#ifdef PEI_IMAGE
// With IMAGE_COVERAGE_DIR set, a machine writes the distinct blocks its image executed when it goes, under the
// name of the image it ran.
class BlockRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(mkdtemp(dir_), nullptr);
    // The variable as the process had it is put back however the test ends: a coverage run of this program
    // sets it for every other test too.
    if (const char* previous = std::getenv("IMAGE_COVERAGE_DIR")) saved_ = previous;
    setenv("IMAGE_COVERAGE_DIR", dir_, 1);
  }
  void TearDown() override {
    if (saved_) {
      setenv("IMAGE_COVERAGE_DIR", saved_->c_str(), 1);
    } else {
      unsetenv("IMAGE_COVERAGE_DIR");
    }
    std::filesystem::remove_all(dir_);
  }
  std::vector<std::filesystem::path> Files() const {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) files.push_back(entry.path());
    return files;
  }

  char dir_[32] = "/tmp/block-record-XXXXXX";
  std::optional<std::string> saved_;
};

TEST_F(BlockRecord, ARunOfTheImageWritesItsBlocksWithTheEntryPointsRva) {
  uint64_t entry_rva = 0, image_size = 0;
  {
    sim::TracePlatform platform;
    std::string error;
    std::unique_ptr<sim::PeimImageRun> run = sim::PeimImageRun::Create(platform, PEI_IMAGE, error);
    ASSERT_NE(run, nullptr) << error;
    entry_rva = run->Machine().Image().Entry() - run->Machine().Image().Base();
    image_size = run->Machine().Image().MappedSize();
    ASSERT_EQ(run->RunEntry(), 0u);
  }
  const std::vector<std::filesystem::path> files = Files();
  ASSERT_EQ(files.size(), 1u);
  const std::string prefix = "trace_status_peim." + std::to_string(getpid()) + ".";
  EXPECT_EQ(files[0].filename().string().rfind(prefix, 0), 0u) << files[0];
  EXPECT_EQ(files[0].extension(), ".blocks");
  std::ifstream in(files[0]);
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "# image trace_status_peim");
  const std::regex format("0x[0-9a-f]+ 0x[0-9a-f]+");
  bool entry_seen = false;
  size_t blocks = 0;
  while (std::getline(in, line)) {
    EXPECT_TRUE(std::regex_match(line, format)) << line;
    const uint64_t rva = std::stoull(line.substr(0, line.find(' ')), nullptr, 16);
    EXPECT_LT(rva, image_size);  // nothing outside the image (traps, host pages)
    entry_seen = entry_seen || rva == entry_rva;
    ++blocks;
  }
  EXPECT_TRUE(entry_seen) << "no block at " << std::hex << entry_rva;
  EXPECT_GT(blocks, 10u);
}

TEST_F(BlockRecord, AnotherPeimPlacedWithoutItsNameIsNotRecordedAsTheBuiltImage) {
  // A test's own PEIM run through the same runner: its blocks are no blocks of the built image.
  {
    sim::TracePlatform platform;
    sim::PlaceResult placed = sim::PlaceImage(simtest::PeimCode().Build());
    ASSERT_TRUE(placed.image) << placed.error;
    std::string error;
    std::unique_ptr<sim::PeimImageRun> run =
        sim::PeimImageRun::CreatePlaced(platform, std::move(placed.image), "", error);
    ASSERT_NE(run, nullptr) << error;
    ASSERT_EQ(run->RunEntry(), 0u);
  }
  const std::vector<std::filesystem::path> files = Files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].filename().string().rfind("image." + std::to_string(getpid()) + ".", 0), 0u) << files[0];
}
#endif

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
