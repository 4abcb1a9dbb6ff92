// Placing host pages clear of the platform's reserved ranges: fixed-address tries around the ranges when the
// kernel's own choice falls on one.
#include "sim/common/host_pages.h"

#include <sys/mman.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr uint64_t kProbeStep = 16u << 20;

// The kernel's choice, below 4 GiB when asked (on a 32-bit host every address is).
void* KernelChoice(size_t size, bool below_4gib) {
  int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#if defined(__x86_64__)
  if (below_4gib) flags |= MAP_32BIT;
#else
  (void)below_4gib;
#endif
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

}  // namespace

size_t HostPageSize() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

void* MapPagesAt(uint64_t address, size_t size) {
  if (address == 0 || address > UINTPTR_MAX) return nullptr;
  void* want = reinterpret_cast<void*>(static_cast<uintptr_t>(address));
  void* p = mmap(want, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  if (p != want) {  // a kernel that takes the flag as a hint only
    munmap(p, size);
    return nullptr;
  }
  return p;
}

void* MapPagesClearOf(size_t size, uint64_t limit, std::span<const ReservedRange> reserved, uint64_t preferred) {
  const uint64_t page = HostPageSize();
  if (size == 0 || size > limit) return nullptr;
  size = static_cast<size_t>((size + page - 1) / page * page);
  auto clear = [&](uint64_t at) {
    return at != 0 && at % page == 0 && at <= limit - size && OverlappedRange(at, size, reserved) == nullptr;
  };
  auto take = [&](uint64_t at) { return clear(at) ? MapPagesAt(at, size) : nullptr; };
  // The page just past a range, or 0 when the range reaches the top of the address space.
  auto above = [&](const ReservedRange& r) {
    const uint64_t end = r.base + r.size;
    return end < r.base || end > ~0ull - page ? 0 : (end + page - 1) / page * page;
  };
  auto below = [&](const ReservedRange& r) { return r.base >= size + page ? (r.base - size) / page * page : 0; };

  if (preferred != 0) {
    // Below the ranges it meets first: the kernel's own below-4-GiB choices crowd the space above 1 GiB.
    for (bool down : {true, false}) {
      uint64_t at = preferred;
      for (size_t moves = 0; moves <= reserved.size() && at != 0; ++moves) {
        const ReservedRange* r = OverlappedRange(at, size, reserved);
        if (r == nullptr) break;
        at = down ? below(*r) : above(*r);
      }
      if (void* p = take(at)) return p;
    }
  }
  const ReservedRange* met = nullptr;
  if (void* p = KernelChoice(size, limit <= k4GiB)) {
    const uint64_t at = reinterpret_cast<uintptr_t>(p);
    if (clear(at)) return p;
    met = OverlappedRange(at, size, reserved);
    munmap(p, size);
  }
  if (met != nullptr) {
    if (void* p = take(below(*met))) return p;
    if (void* p = take(above(*met))) return p;
  }
  for (const ReservedRange& r : reserved) {
    if (void* p = take(below(r))) return p;
    if (void* p = take(above(r))) return p;
  }
  if (limit <= k4GiB) {
    for (uint64_t at = kProbeStep; at < limit; at += kProbeStep) {
      if (void* p = take(at)) return p;
    }
  }
  return nullptr;
}

}  // namespace sim
