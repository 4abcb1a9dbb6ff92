// The emulated image's executed blocks as libFuzzer feedback: an extra-counters region the fuzzer reads after each
// input, which every image machine of the process counts its image's blocks into (by image-relative start), so an
// input that reaches new image code is kept even where the host code it is compared with is covered already.
// Include it from one file of a harness only (the region is that file's).
#pragma once
#include <cstddef>
#include <cstdint>

#include "sim/image/image_machine.h"

namespace fuzz {

inline constexpr size_t kImageBlockCounters = 1 << 16;

__attribute__((used, section("__libfuzzer_extra_counters"))) static uint8_t image_block_counters[kImageBlockCounters];

// Hands the region to the machines made from now on (once per process).
inline void CountImageBlocks() {
  static const bool counted =
      (sim::ImageMachine::SetDefaultBlockCounters(image_block_counters, kImageBlockCounters), true);
  (void)counted;
}

}  // namespace fuzz
