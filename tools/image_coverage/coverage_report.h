// The coverage report of one image as text and as JSON.
#pragma once
#include <string>

#include "tools/image_coverage/block_coverage.h"

namespace image_coverage {

// "STEM: R/T blocks reached (S%) in F functions, from N ranges of M files" (and how many ranges start in no
// function or inside a block), then each function not reached in
// full with its object file, blocks reached/total, the unreached blocks' RVAs and the reason when the reasons
// file gives one; then the notes.
std::string CoverageText(const ImageCoverage& coverage);

// The same as one JSON object: image, blocks_total, blocks_reached, share, files, ranges, ranges_outside,
// ranges_inside_blocks, functions (every function: name, symbol, object, rva, size, blocks_total,
// blocks_reached, unreached, reason), notes.
std::string CoverageJson(const ImageCoverage& coverage);

}  // namespace image_coverage
