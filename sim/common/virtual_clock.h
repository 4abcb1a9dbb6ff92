// The simulator's clock: nothing sleeps, waits advance virtual microseconds.
#pragma once
#include <cstdint>

namespace sim {

class VirtualClock {
 public:
  uint64_t NowMicroseconds() const { return now_us_; }
  void Advance(uint64_t microseconds) { now_us_ += microseconds; }

 private:
  uint64_t now_us_ = 0;
};

}  // namespace sim
