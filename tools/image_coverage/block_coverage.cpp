// Matching recorded ranges to static blocks.
#include "tools/image_coverage/block_coverage.h"

#include <algorithm>

namespace image_coverage {
namespace {

struct Interval {
  uint64_t start = 0;
  uint64_t end = 0;
};

// The ranges as sorted, disjoint intervals.
std::vector<Interval> Merge(const std::vector<ExecutedRange>& ranges) {
  std::vector<Interval> intervals;
  intervals.reserve(ranges.size());
  for (const ExecutedRange& range : ranges) {
    intervals.push_back(Interval{range.rva, uint64_t{range.rva} + std::max<uint32_t>(range.size, 1)});
  }
  std::sort(intervals.begin(), intervals.end(), [](const Interval& a, const Interval& b) { return a.start < b.start; });
  std::vector<Interval> merged;
  for (const Interval& interval : intervals) {
    if (!merged.empty() && interval.start <= merged.back().end) {
      merged.back().end = std::max(merged.back().end, interval.end);
    } else {
      merged.push_back(interval);
    }
  }
  return merged;
}

uint32_t RvaOf(uint32_t rva) { return rva; }
uint32_t RvaOf(const StaticBlock& block) { return block.rva; }

bool Covers(const std::vector<Interval>& merged, uint32_t rva) {
  auto it = std::upper_bound(merged.begin(), merged.end(), uint64_t{rva},
                             [](uint64_t value, const Interval& i) { return value < i.start; });
  return it != merged.begin() && rva < std::prev(it)->end;
}

}  // namespace

ImageCoverage MeasureCoverage(const ImageBlocks& code, const std::vector<ExecutedRange>& ranges,
                              const std::map<std::string, std::string>& reasons) {
  ImageCoverage coverage;
  coverage.stem = code.stem;
  coverage.ranges = ranges.size();
  // Each range should start on a block: the emulator's translation blocks start where the static blocks do
  // (after a branch, call or return, at a branch target). One that does not shows code the disassembly
  // did not follow (an indirect branch target it could not see).
  for (const ExecutedRange& range : ranges) {
    const FunctionBlocks* function = code.FunctionAt(range.rva);
    if (function == nullptr) {
      ++coverage.ranges_outside;
    } else if (!std::binary_search(function->blocks.begin(), function->blocks.end(), range.rva,
                                   [](const auto& a, const auto& b) { return RvaOf(a) < RvaOf(b); })) {
      ++coverage.ranges_inside_blocks;
      coverage.inside_starts.push_back(range.rva);
    }
  }
  std::sort(coverage.inside_starts.begin(), coverage.inside_starts.end());
  coverage.inside_starts.erase(std::unique(coverage.inside_starts.begin(), coverage.inside_starts.end()),
                               coverage.inside_starts.end());
  std::vector<Interval> merged = Merge(ranges);
  // Reason key -> whether a function it names has unreached blocks.
  std::map<std::string, bool> matched;
  for (const FunctionBlocks& blocks : code.functions) {
    FunctionCoverage function;
    function.blocks = &blocks;
    for (const StaticBlock& block : blocks.blocks) {
      if (Covers(merged, block.rva)) {
        ++function.reached;
      } else {
        function.unreached.push_back(block.rva);
      }
    }
    for (const std::string& key :
         {blocks.function.name, NameWithoutParameters(blocks.function.name), blocks.function.symbol}) {
      if (auto it = reasons.find(key); it != reasons.end()) {
        matched[key] = matched[key] || !function.unreached.empty();
        if (!function.unreached.empty() && function.reason.empty()) {
          function.reason = it->second;
        }
      }
    }
    for (const std::string& note : blocks.notes) {
      coverage.notes.push_back(blocks.function.name + ": " + note);
    }
    coverage.blocks_total += blocks.blocks.size();
    coverage.blocks_reached += function.reached;
    coverage.functions.push_back(std::move(function));
  }
  for (const auto& [name, reason] : reasons) {
    auto it = matched.find(name);
    if (it == matched.end()) {
      coverage.notes.push_back("the reasons file names " + name + ", which is no function of the image");
    } else if (!it->second) {
      coverage.notes.push_back("the reasons file explains " + name + ", whose blocks are all reached");
    }
  }
  return coverage;
}

}  // namespace image_coverage
