// An x86 CPU emulator running one placed image: IA-32 for a PEIM, x86-64 for a DXE driver.
//
// What a guest may reach is what the platform lent it, kept in the machine's GuestReach (Reach()): its own image
// (each section with its own protections; a PEIM executing in place read and execute only), its stack, the
// simulator's below-4-GiB tables, host memory mapped for it (MapHost, MapReadOnly: status-code records, the
// SiliconContext, flash) and, for a driver sharing host memory, what the platform handed it: the system table,
// boot and runtime services, the protocol interfaces it was given, live pool buffers and SMBIOS records, PCD
// pointer values. MMIO windows are reached by the guest's own loads and stores only, forwarded to the bus. The
// machine's own memory (stack, trap slots, the simulator's tables) lies below 4 GiB clear of the ranges the
// platform reserves (its windows and flash), so no guest address means both memory and a device.
// Platform services are trap slots (a handler on the host) or, for a driver, the host entry points the tables
// it was lent hold; the guest may call no other host code. Every pointer a service is handed is checked against
// the lent regions before the host touches it.
//
// What happens when the guest tries more: the call into the guest stops and its result says why, with the guest
// address: a write to read-only memory (its code, headers, flash, tables), code run outside the image's code, an
// access to host memory that was not lent (or no longer is: a freed pool buffer, a removed record), a call to
// host code that is no service entry point, a service argument (pointer or length) that leaves the lent regions
// (naming the service, the argument and the call site), an instruction budget exhausted. The host never reads or
// writes memory it did not lend on the guest's behalf, so nothing of the guest can crash or hang it.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "sim/common/mmio_bus.h"
#include "sim/image/guest_arena.h"
#include "sim/image/guest_reach.h"
#include "sim/image/placed_image.h"

struct uc_struct;

namespace sim {

class ImageMachine;

// The guest's arguments of one trap call, read by position.
class TrapCall {
 public:
  TrapCall(ImageMachine& machine, uint64_t stack) : machine_(machine), stack_(stack) {}
  uint64_t Arg(unsigned index) const;
  // The address the call returns to in the guest.
  uint64_t ReturnAddress() const;
  // Ends the guest call with a refusal (a service argument that leaves what the guest may reach); the message
  // is completed with the guest address of the call. The handler's result is then ignored.
  void Refuse(const std::string& message) const;

 private:
  ImageMachine& machine_;
  uint64_t stack_;  // the stack pointer at the trap: it points at the return address
};

// What one call into the guest did.
struct GuestCallResult {
  bool completed = false;     // returned to the caller
  uint64_t value = 0;         // EAX (EDX:EAX for 64-bit values on IA-32) or RAX
  uint64_t instructions = 0;  // exact counting only: instructions of the image executed (trap slots not counted)
  uint64_t stack_used = 0;    // exact counting only: the given stack top minus the lowest stack pointer seen
  uint64_t blocks = 0;        // translation blocks of the image executed
  std::string fault;          // why the call did not complete
  bool stopped = false;       // ended by a stop address (fault holds its message)
};

// The host side of the services a 64-bit guest calls as host code (ShareHostMemory).
class HostServiceGate {
 public:
  virtual ~HostServiceGate() = default;
  // Whether `function` is a service entry point the platform handed the guest.
  virtual bool IsService(uint64_t function) const = 0;
  // Runs the service for the call and returns its result, or leaves `refusal` set (and runs nothing).
  virtual uint64_t Call(uint64_t function, const TrapCall& call, std::string& refusal) = 0;
};

class ImageMachine {
 public:
  using TrapHandler = std::function<uint64_t(const TrapCall&)>;
  using StopHandler = std::function<std::string(const TrapCall&)>;

  // The machine of the image's type, with a stack of `stack_size` bytes and the image's pages mapped: a driver's
  // sections with their own protections (headers read-only), a PEIM executing in place read and execute as a
  // whole (its writes are faults). Its own memory (stack, trap slots, arena) lies below 4 GiB clear of the
  // `reserved` ranges (the platform's windows and flash); when there is no such room, PlacementError() says so
  // and the machine has no emulator: it may only be destroyed (a Call returns that error as its fault).
  ImageMachine(const PlacedImage& image, size_t stack_size = 64 * 1024, std::span<const ReservedRange> reserved = {});
  ~ImageMachine();
  ImageMachine(const ImageMachine&) = delete;
  ImageMachine& operator=(const ImageMachine&) = delete;

  // Empty unless the machine's own memory could not be placed.
  const std::string& PlacementError() const;
  // Whether the machine has an emulator and its own memory (stack, trap slots, arena) lies clear of `reserved`:
  // a machine kept for another platform is reused only then.
  bool ClearOf(std::span<const ReservedRange> reserved) const;
  bool Is64() const { return is64_; }
  const PlacedImage& Image() const { return image_; }
  // Below-4-GiB memory mapped into the guest read/write (tables, PPIs, descriptors the simulator builds).
  GuestArena& Arena() { return arena_; }
  // What the guest may reach: the image, stack, arena and every MapHost/MapReadOnly mapping are lent by the
  // machine; a platform lends more (ShareHostMemory).
  GuestReach& Reach() { return reach_; }

  // Maps host memory at the same guest address (widened to whole pages; pages already mapped are kept).
  void MapHost(const void* address, size_t size, bool writable, std::string name);
  // Maps `size` bytes of host memory at `host` read-only at the guest address `guest` (both on a page; the
  // size widened to whole pages; pages already mapped are kept): flash, whose writes are faults.
  void MapReadOnly(uint64_t guest, const void* host, size_t size, std::string name);
  // Maps [base, base + size) (widened to whole pages) as MMIO forwarded to the bus at the same address.
  void MapMmio(uint64_t base, uint64_t size, MmioBus& bus, std::string name);
  // Every region of the bus, merged where their pages touch.
  void MapBus(MmioBus& bus);

  // x86-64 only: from now on the guest also reaches host memory at its own addresses where Reach() lends it
  // (the platform's tables, interfaces, pool buffers and records), each access checked against the lent regions
  // as it is made, so memory taken back (freed, removed) is out of reach at once; and a call from the image's
  // code to a host address the gate names a service runs through the gate. Any other host memory or code is a
  // fault.
  void ShareHostMemory(HostServiceGate& gate);

  // Calls a host function (Microsoft convention) with the guest's first ten arguments.
  static uint64_t CallHostFunction(const void* function, const TrapCall& call);

  // A guest address whose call runs the handler; its result goes to EAX (and EDX) or RAX.
  uint64_t AddTrap(std::string name, TrapHandler handler);
  // When the guest reaches `address`, the call ends with the handler's message (GuestCallResult::stopped).
  void AddStop(uint64_t address, StopHandler handler);
  void SetIdtBase(uint64_t base);
  // At most this many image instructions per call (default 50 million). Without exact counting the machine counts
  // executed blocks against it (each holds at least one instruction), so a hang is still caught.
  void SetInstructionBudget(uint64_t budget) { budget_ = budget; }
  // Exact counting: every image instruction is counted and the deepest stack pointer measured (GuestCallResult's
  // instructions and stack_used). Off by default: then only whole blocks are seen, which is much cheaper.
  void SetExactCounting(bool exact);
  // Each executed block of the image adds one (saturating) to counters[image-relative start % size]; null stops.
  void SetBlockCounters(uint8_t* counters, size_t size);
  // Where new machines count their blocks (a fuzzer's feedback region); null for none.
  static void SetDefaultBlockCounters(uint8_t* counters, size_t size);
  // The image's name (its file's stem) for the block record IMAGE_COVERAGE_DIR asks for: when that environment
  // variable is set, the machine keeps every distinct block of the image it executed (image-relative start and
  // size) and writes them, when destroyed, to $IMAGE_COVERAGE_DIR/<name>.<pid>.<n>.blocks.
  void SetName(const std::string& name_or_path);

  // Keeps what the guest can change and reach as it is now: the CPU context, the guest-writable memory (writable
  // image sections, the stack, the arena, writable MapHost mappings), the trap slots, stops, lends, the service
  // gate and the named mappings.
  void TakeSnapshot();
  // Returns to the snapshot, copying back only the memory pages that differ. Host and MMIO mappings made since are
  // dropped before the next call unless mapped again alike first (an MMIO window then serves the new bus);
  // checked pages of shared host memory stay, as each access is checked against the lends of the moment.
  void Restore();
  // Pages copied back by the last Restore.
  size_t RestoredPages() const;

  // Calls a guest function with integer or pointer arguments; calls do not nest (a trap handler must not call).
  GuestCallResult Call(uint64_t address, const std::vector<uint64_t>& arguments);

  // Guest memory access through the emulator (MMIO excluded: those are the devices' registers). A write is
  // refused (false) unless the whole range is memory the guest itself may write.
  bool ReadGuest(uint64_t address, void* out, size_t size);
  bool WriteGuest(uint64_t address, const void* data, size_t size);

  struct State;  // what the hooks see

 private:
  friend class TrapCall;
  const PlacedImage& image_;
  bool is64_;
  uc_struct* uc_ = nullptr;
  GuestArena arena_;
  GuestReach reach_;
  uint64_t budget_ = 50'000'000;
  std::unique_ptr<State> state_;
};

}  // namespace sim
