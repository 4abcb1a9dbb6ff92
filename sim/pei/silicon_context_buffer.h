// The SiliconContext record the platform hands to the register-access service, placed below 4 GiB
// so its address fits the 32-bit Context word of a register address record, and clear of the platform's
// windows (an emulated image sees it at the same address, where a window would be a device).
#pragma once
#include <cstdint>
#include <span>
#include <vector>

#include "sim/common/reserved_range.h"

#include "sim/pei/pei_platform_config.h"

namespace sim {

class SiliconContextBuffer {
 public:
  explicit SiliconContextBuffer(std::span<const ReservedRange> reserved = {});
  ~SiliconContextBuffer();
  SiliconContextBuffer(const SiliconContextBuffer&) = delete;
  SiliconContextBuffer& operator=(const SiliconContextBuffer&) = delete;

  uint8_t* data() { return data_; }
  uint32_t size() const { return size_; }
  // The record's address as the 32-bit Context word.
  uint32_t address() const { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data_)); }

  // Copies bytes to a position; a run past the record's end aborts with a message naming it.
  void Apply(const ContextBytes& bytes);
  void Write32(uint32_t position, uint32_t value) { Apply(ContextWord32(position, value)); }
  uint32_t Read32(uint32_t position) const;

  // Sets the MMCFG words the register-access service reads for a segment: the low word at
  // 0x14F58 + 4 * segment and the word read as the high word at 0x14F54 + 4 * segment (which, for
  // segment s above 0, is also the low word of segment s - 1).
  void SetMmcfgWords(unsigned segment, uint32_t low, uint32_t high);

 private:
  uint8_t* data_ = nullptr;
  uint32_t size_ = 0;
};

}  // namespace sim
