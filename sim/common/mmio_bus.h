// The simulated physical address space behind the hardware primitives: devices map regions,
// every access is dispatched (and optionally recorded); an access outside any region is a violation.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sim/common/violations.h"

namespace sim {

// The value of a read no device answers: all ones in the low `width` bytes.
uint64_t AllOnes(unsigned width);

// A device's register window. Offsets are relative to the mapped base; width is 1, 2, 4 or 8 bytes.
class MmioRegion {
 public:
  virtual ~MmioRegion() = default;
  virtual uint64_t Read(uint64_t offset, unsigned width) = 0;
  virtual void Write(uint64_t offset, unsigned width, uint64_t value) = 0;
};

struct MmioAccess {
  uint64_t address;
  unsigned width;
  uint64_t value;
  bool write;
  bool operator==(const MmioAccess&) const = default;
};

class MmioBus {
 public:
  explicit MmioBus(Violations& violations) : violations_(violations) {}

  // Maps [base, base + size) to the region. Overlapping an existing mapping is a programming error
  // of the simulator's user and aborts with a message.
  void Map(uint64_t base, uint64_t size, MmioRegion* region, std::string name);
  void Unmap(MmioRegion* region);

  // Dispatches one access. Unmapped or region-crossing reads return all ones and report a violation.
  uint64_t Read(uint64_t address, unsigned width);
  void Write(uint64_t address, unsigned width, uint64_t value);

  // Accesses made while recording is on, in order.
  void SetRecording(bool on) { recording_ = on; }
  const std::vector<MmioAccess>& Recorded() const { return recorded_; }
  void ClearRecorded() { recorded_.clear(); }

  // The mapped regions in mapping order (for backing them with memory when a built image runs).
  struct MappedRegion {
    uint64_t base;
    uint64_t size;
    MmioRegion* region;
    std::string name;
  };
  std::vector<MappedRegion> Regions() const;

  uint64_t ReadCount() const { return reads_; }
  uint64_t WriteCount() const { return writes_; }

 private:
  struct Mapping {
    uint64_t base;
    uint64_t size;
    MmioRegion* region;
    std::string name;
  };
  const Mapping* Find(uint64_t address, unsigned width, const char* what);

  Violations& violations_;
  std::vector<Mapping> mappings_;
  std::vector<MmioAccess> recorded_;
  bool recording_ = false;
  uint64_t reads_ = 0;
  uint64_t writes_ = 0;
};

}  // namespace sim
