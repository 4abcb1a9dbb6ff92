// The executed-block files the emulator writes when IMAGE_COVERAGE_DIR is set: a first line
// "# image STEM", then one line "0xRVA 0xSIZE" per translation block it ran (image-relative start, size in
// bytes).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace image_coverage {

struct ExecutedRange {
  uint32_t rva = 0;
  uint32_t size = 0;
};

struct BlocksFile {
  std::string stem;  // the image the ranges belong to
  std::vector<ExecutedRange> ranges;
};

struct BlocksFileResult {
  std::optional<BlocksFile> value;
  std::string error;  // "NAME:LINE: problem" when value is empty
};

// Parses a file's text; name is the file name the error messages give.
BlocksFileResult ParseBlocksFile(const std::string& text, const std::string& name);
BlocksFileResult ReadBlocksFile(const std::string& path);

// The .blocks files of a directory that belong to image stem ("STEM.*.blocks"), sorted by name.
std::vector<std::string> BlocksFilesIn(const std::string& directory, const std::string& stem);

struct CollectedRanges {
  std::vector<ExecutedRange> ranges;  // of every file read, in order
  size_t files = 0;
  std::string error;  // set when a file cannot be read, is malformed or belongs to another image
};

// The ranges of image stem from inputs: each a .blocks file, or a directory whose STEM.*.blocks files are read.
CollectedRanges CollectRanges(const std::vector<std::string>& inputs, const std::string& stem);

}  // namespace image_coverage
