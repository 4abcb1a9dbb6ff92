// An x86 CPU emulator running one placed image: IA-32 for a PEIM, x86-64 for a DXE driver. Host memory the
// simulator hands out is mapped at its own address; MMIO windows forward every access to the simulator's bus;
// platform services are trap slots whose call runs a host handler (cdecl arguments on IA-32, the Microsoft
// convention on x86-64) and returns its result into the guest. A fault (a write to read-only image memory, code
// run outside the image's code, an access nothing maps, an instruction budget exhausted) stops the call and is
// reported with the guest address and what was tried; nothing of the guest can crash or hang the host.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/common/mmio_bus.h"
#include "sim/image/guest_arena.h"
#include "sim/image/placed_image.h"

struct uc_struct;

namespace sim {

class ImageMachine;

// The guest's arguments of one trap call, read by position.
class TrapCall {
 public:
  TrapCall(ImageMachine& machine, uint64_t stack) : machine_(machine), stack_(stack) {}
  uint64_t Arg(unsigned index) const;
  // The argument as a host pointer (guest and host addresses are the same).
  template <class T>
  T* Pointer(unsigned index) const {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(Arg(index)));
  }

 private:
  ImageMachine& machine_;
  uint64_t stack_;  // the stack pointer at the trap: it points at the return address
};

// What one call into the guest did.
struct GuestCallResult {
  bool completed = false;     // returned to the caller
  uint64_t value = 0;         // EAX (EDX:EAX for 64-bit values on IA-32) or RAX
  uint64_t instructions = 0;  // instructions of the image executed (trap slots not counted)
  uint64_t stack_used = 0;    // deepest stack: the given stack top minus the lowest stack pointer seen
  std::string fault;          // why the call did not complete
  bool stopped = false;       // ended by a stop address (fault holds its message)
};

class ImageMachine {
 public:
  using TrapHandler = std::function<uint64_t(const TrapCall&)>;
  using StopHandler = std::function<std::string(const TrapCall&)>;

  // The machine of the image's type, with a stack of `stack_size` bytes and the image's pages mapped: a driver's
  // sections with their own protections (headers read-only), a PEIM executing in place read and execute as a
  // whole (its writes are faults).
  ImageMachine(const PlacedImage& image, size_t stack_size = 64 * 1024);
  ~ImageMachine();
  ImageMachine(const ImageMachine&) = delete;
  ImageMachine& operator=(const ImageMachine&) = delete;

  bool Is64() const { return is64_; }
  const PlacedImage& Image() const { return image_; }
  // Below-4-GiB memory mapped into the guest read/write (tables, PPIs, descriptors the simulator builds).
  GuestArena& Arena() { return arena_; }

  // Maps host memory at the same guest address (widened to whole pages; pages already mapped are kept).
  void MapHost(const void* address, size_t size, bool writable, std::string name);
  // Maps `size` bytes of host memory at `host` read-only at the guest address `guest` (both on a page; the
  // size widened to whole pages; pages already mapped are kept): flash, whose writes are faults.
  void MapReadOnly(uint64_t guest, const void* host, size_t size, std::string name);
  // Maps [base, base + size) (widened to whole pages) as MMIO forwarded to the bus at the same address.
  void MapMmio(uint64_t base, uint64_t size, MmioBus& bus, std::string name);
  // Every region of the bus, merged where their pages touch.
  void MapBus(MmioBus& bus);

  // x86-64 only: from now on the guest also sees the host's own data memory at its addresses as it touches it
  // (the simulator's tables, protocols, pool buffers and records live there), and a call from the image's code
  // into the host's code runs that host function with the guest's arguments (the service functions the tables
  // hold). Host pages are mapped on first touch; after host code has run, pages the host no longer has are
  // dropped, so the guest never reaches memory the host released.
  void ShareHostMemory();

  // Calls a host function (Microsoft convention) with the guest's first ten arguments.
  static uint64_t CallHostFunction(const void* function, const TrapCall& call);

  // A guest address whose call runs the handler; its result goes to EAX (and EDX) or RAX.
  uint64_t AddTrap(std::string name, TrapHandler handler);
  // When the guest reaches `address`, the call ends with the handler's message (GuestCallResult::stopped).
  void AddStop(uint64_t address, StopHandler handler);
  void SetIdtBase(uint64_t base);
  // At most this many image instructions per call (default 50 million).
  void SetInstructionBudget(uint64_t budget) { budget_ = budget; }

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
  uint64_t budget_ = 50'000'000;
  std::unique_ptr<State> state_;
};

}  // namespace sim
