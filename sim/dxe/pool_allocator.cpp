// Pool memory with accounting, guard bytes and failure injection.
#include "sim/dxe/pool_allocator.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {

constexpr size_t kGuard = 16;
constexpr unsigned char kGuardByte = 0xFD;
constexpr unsigned char kFreshByte = 0xAF;
constexpr unsigned char kFreedByte = 0xDD;
// The simulated platform's pool holds no buffer larger than this: a larger request (up to sizes whose guards
// would wrap) is EFI_OUT_OF_RESOURCES, as on a platform whose memory is exhausted.
constexpr size_t kLargestBuffer = size_t{256} << 20;

std::string Describe(uint64_t number, size_t size, EFI_MEMORY_TYPE type) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "pool buffer #%llu (%zu bytes, pool type %u)", static_cast<unsigned long long>(number),
                size, static_cast<unsigned>(type));
  return buf;
}

std::string Pointer(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%p", p);
  return buf;
}

}  // namespace

PoolAllocator::~PoolAllocator() {
  for (auto& [address, block] : live_) std::free(block.raw);
}

EFI_STATUS PoolAllocator::Allocate(EFI_MEMORY_TYPE type, UINTN size, VOID** buffer) {
  const uint64_t number = ++stats_.allocations;
  if (buffer == nullptr) {
    ++stats_.failed;
    violations_.Report("AllocatePool #" + std::to_string(number) + " called with a null Buffer pointer");
    return EFI_INVALID_PARAMETER;
  }
  if (static_cast<UINT32>(type) >= EfiMaxMemoryType) {
    ++stats_.failed;
    violations_.Report("AllocatePool #" + std::to_string(number) + " called with invalid pool type " +
                       std::to_string(static_cast<UINT32>(type)));
    return EFI_INVALID_PARAMETER;
  }
  bool fail = fail_from_ && number >= *fail_from_;
  if (auto it = std::find(fail_numbers_.begin(), fail_numbers_.end(), number); it != fail_numbers_.end()) {
    fail_numbers_.erase(it);
    fail = true;
  }
  if (size > kLargestBuffer) fail = true;
  auto* raw = fail ? nullptr : static_cast<unsigned char*>(std::malloc(size + 2 * kGuard));
  if (raw == nullptr) {
    ++stats_.failed;
    *buffer = nullptr;
    return EFI_OUT_OF_RESOURCES;
  }
  std::memset(raw, kGuardByte, kGuard);
  std::memset(raw + kGuard, kFreshByte, size);
  std::memset(raw + kGuard + size, kGuardByte, kGuard);
  unsigned char* payload = raw + kGuard;
  live_[reinterpret_cast<uintptr_t>(payload)] = Block{number, size, type, raw};
  freed_.erase(reinterpret_cast<uintptr_t>(payload));
  stats_.live_bytes += size;
  stats_.live_buffers += 1;
  stats_.peak_bytes = std::max(stats_.peak_bytes, stats_.live_bytes);
  stats_.peak_buffers = std::max(stats_.peak_buffers, stats_.live_buffers);
  *buffer = payload;
  return EFI_SUCCESS;
}

EFI_STATUS PoolAllocator::Free(VOID* buffer) {
  const auto key = reinterpret_cast<uintptr_t>(buffer);
  auto it = live_.find(key);
  if (it == live_.end()) {
    ++stats_.bad_frees;
    const bool twice = buffer != nullptr && freed_.count(key) != 0;
    violations_.Report(std::string("FreePool: ") + (twice ? "double free of " : "pointer not from AllocatePool: ") +
                       Pointer(buffer));
    return EFI_INVALID_PARAMETER;
  }
  Block block = it->second;
  std::string where;
  if (!GuardsIntact(block, &where)) {
    violations_.Report("FreePool: write " + where + " of " + Describe(block.number, block.size, block.type));
  }
  live_.erase(it);
  if (last_found_ && last_found_->first == key) last_found_.reset();
  std::memset(block.raw, kFreedByte, block.size + 2 * kGuard);
  std::free(block.raw);
  freed_.insert(key);
  ++stats_.frees;
  stats_.live_bytes -= block.size;
  stats_.live_buffers -= 1;
  return EFI_SUCCESS;
}

void PoolAllocator::FailAllocation(uint64_t nth_from_now) {
  if (nth_from_now > 0) fail_numbers_.push_back(stats_.allocations + nth_from_now);
}

void PoolAllocator::FailAllocationsFrom(uint64_t nth_from_now) {
  if (nth_from_now > 0) fail_from_ = stats_.allocations + nth_from_now;
}

void PoolAllocator::ClearFailures() {
  fail_numbers_.clear();
  fail_from_.reset();
}

std::optional<PoolBuffer> PoolAllocator::Find(const void* address, size_t* bytes_to_end) const {
  const auto a = reinterpret_cast<uintptr_t>(address);
  if (!last_found_ || a < last_found_->first || a - last_found_->first >= last_found_->second.size) {
    auto it = live_.upper_bound(a);
    if (it == live_.begin()) return std::nullopt;
    --it;
    if (a - it->first >= it->second.size) return std::nullopt;
    last_found_.emplace(it->first, it->second);
  }
  const auto& [start, block] = *last_found_;
  if (bytes_to_end != nullptr) *bytes_to_end = block.size - (a - start);
  return PoolBuffer{block.number, block.size, block.type};
}

bool PoolAllocator::IsLive(const void* address) const { return live_.count(reinterpret_cast<uintptr_t>(address)) != 0; }

std::vector<PoolLeak> PoolAllocator::Leaks() const {
  std::vector<PoolLeak> leaks;
  for (const auto& [address, block] : live_) leaks.push_back({block.number, block.size, block.type});
  std::sort(leaks.begin(), leaks.end(), [](const PoolLeak& a, const PoolLeak& b) { return a.number < b.number; });
  return leaks;
}

std::vector<PoolLeak> PoolAllocator::ReportLeaks() {
  CheckGuards();
  std::vector<PoolLeak> leaks = Leaks();
  for (const PoolLeak& leak : leaks) {
    violations_.Report("pool leak: " + Describe(leak.number, leak.size, leak.type) + " never freed");
  }
  return leaks;
}

void PoolAllocator::CheckGuards() {
  for (const auto& [address, block] : live_) {
    std::string where;
    if (!GuardsIntact(block, &where)) {
      violations_.Report("pool: write " + where + " of " + Describe(block.number, block.size, block.type));
    }
  }
}

bool PoolAllocator::GuardsIntact(const Block& block, std::string* where) const {
  for (size_t i = 0; i < kGuard; ++i) {
    if (block.raw[i] != kGuardByte) {
      *where = "before the start (" + std::to_string(kGuard - i) + " bytes before)";
      return false;
    }
  }
  const unsigned char* after = block.raw + kGuard + block.size;
  for (size_t i = kGuard; i-- > 0;) {
    if (after[i] != kGuardByte) {
      // Report the first damaged byte past the end.
      size_t first = i;
      for (size_t j = 0; j < i; ++j) {
        if (after[j] != kGuardByte) {
          first = j;
          break;
        }
      }
      *where = "past the end (at offset " + std::to_string(block.size + first) + ")";
      return false;
    }
  }
  return true;
}

}  // namespace sim
