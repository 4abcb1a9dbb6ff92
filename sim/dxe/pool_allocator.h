// Pool memory with accounting: live buffers, sizes, pool types, peak use, failure injection, leak report.
// Every buffer is fenced by guard bytes, so a write past either end is reported when it is freed or at the end.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "sim/common/violations.h"
#include "uefi/base_types.h"
#include "uefi/status.h"
#include "uefi/system_table.h"

namespace sim {

struct PoolBuffer {
  uint64_t number;  // 1-based allocation number (attempts count, failed ones included)
  size_t size;
  EFI_MEMORY_TYPE type;
};

struct PoolLeak {
  uint64_t number;
  size_t size;
  EFI_MEMORY_TYPE type;
  bool operator==(const PoolLeak&) const = default;
};

struct PoolStats {
  uint64_t allocations = 0;  // attempts
  uint64_t failed = 0;       // attempts that returned an error (injected or invalid)
  uint64_t frees = 0;        // successful frees
  uint64_t bad_frees = 0;    // unknown pointer, double free
  size_t live_bytes = 0;
  size_t live_buffers = 0;
  size_t peak_bytes = 0;
  size_t peak_buffers = 0;
};

class PoolAllocator {
 public:
  explicit PoolAllocator(Violations& violations) : violations_(violations) {}
  ~PoolAllocator();  // releases what is still live (report leaks first with Leaks())
  PoolAllocator(const PoolAllocator&) = delete;
  PoolAllocator& operator=(const PoolAllocator&) = delete;

  // AllocatePool semantics. New memory is filled with 0xAF (not zero) so reliance on zeroed pool shows. A request
  // above 256 MiB is EFI_OUT_OF_RESOURCES (counted as failed).
  // A null Buffer or an invalid pool type is a violation and EFI_INVALID_PARAMETER.
  EFI_STATUS Allocate(EFI_MEMORY_TYPE type, UINTN size, VOID** buffer);
  // FreePool semantics. An unknown pointer or a double free is a violation and EFI_INVALID_PARAMETER;
  // a damaged guard is a violation (the buffer is still released).
  EFI_STATUS Free(VOID* buffer);

  // Failure injection, counted in allocation attempts from now: FailAllocation(1) fails the next one.
  void FailAllocation(uint64_t nth_from_now);
  // Every allocation from the n-th from now on fails (1 = all of them).
  void FailAllocationsFrom(uint64_t nth_from_now);
  void ClearFailures();

  // The live buffer holding [address, address+1), if any, and the bytes from address to its end.
  std::optional<PoolBuffer> Find(const void* address, size_t* bytes_to_end = nullptr) const;
  bool IsLive(const void* address) const;

  const PoolStats& Stats() const { return stats_; }
  // Live buffers in allocation order.
  std::vector<PoolLeak> Leaks() const;
  // Reports every live buffer as a leak violation and checks all guards; returns the leaks.
  std::vector<PoolLeak> ReportLeaks();
  // Checks the guards of every live buffer (violation per damaged one).
  void CheckGuards();

 private:
  struct Block {
    uint64_t number;
    size_t size;
    EFI_MEMORY_TYPE type;
    unsigned char* raw;  // guard, payload, guard
  };
  bool GuardsIntact(const Block& block, std::string* where) const;

  Violations& violations_;
  std::map<uintptr_t, Block> live_;      // payload address -> block
  std::unordered_set<uintptr_t> freed_;  // payload addresses freed, to tell a double free from a stray pointer
  // The live buffer Find found last (payload address and block), asked first: an emulated driver's accesses to
  // one buffer come in runs. Forgotten when that buffer is freed.
  mutable std::optional<std::pair<uintptr_t, Block>> last_found_;
  PoolStats stats_;
  std::vector<uint64_t> fail_numbers_;
  std::optional<uint64_t> fail_from_;
};

}  // namespace sim
