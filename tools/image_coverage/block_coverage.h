// Which static blocks of an image the recorded ranges reached: a block is reached when a recorded range
// covers its first byte (a range of size 0 still covers its start, which ran).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/image_coverage/blocks_file.h"
#include "tools/image_coverage/image_blocks.h"

namespace image_coverage {

struct FunctionCoverage {
  const FunctionBlocks* blocks = nullptr;
  size_t reached = 0;
  std::vector<uint32_t> unreached;  // start RVAs of the blocks no range reached
  std::string reason;               // from the reasons file, when it names the function
};

struct ImageCoverage {
  std::string stem;
  size_t blocks_total = 0;
  size_t blocks_reached = 0;
  size_t files = 0;
  size_t ranges = 0;
  size_t ranges_outside = 0;                // ranges whose start lies in no function of the image
  size_t ranges_inside_blocks = 0;          // ranges starting in a function but on no block start of it
  std::vector<uint32_t> inside_starts;      // their distinct starts, ascending
  std::vector<FunctionCoverage> functions;  // every function, ascending by address
  std::vector<std::string> notes;           // disassembly notes and reasons that match nothing to explain

  double Share() const { return blocks_total == 0 ? 0.0 : 100.0 * blocks_reached / blocks_total; }
};

// Measures code's blocks against ranges; reasons are the reasons file's entries for this image (or empty).
ImageCoverage MeasureCoverage(const ImageBlocks& code, const std::vector<ExecutedRange>& ranges,
                              const std::map<std::string, std::string>& reasons);

}  // namespace image_coverage
