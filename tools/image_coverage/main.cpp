// image_coverage: which static basic blocks of a firmware image the emulator's runs reached, from the
// executed-block files they wrote (IMAGE_COVERAGE_DIR), with the reasons file's explanations.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>

#include "tools/image_coverage/block_coverage.h"
#include "tools/image_coverage/coverage_reasons.h"
#include "tools/image_coverage/coverage_report.h"

int main(int argc, char** argv) {
  CLI::App app{"image_coverage: block coverage of a firmware image from the emulator's executed-block files"};
  std::string image_path;
  std::string map_path;
  std::string reasons_path;
  std::string json_path;
  double fail_under = 0;
  std::vector<std::string> inputs;
  app.add_option("--image", image_path, "the PE image (.efi)")->required();
  app.add_option("--map", map_path, "its link map (default: the image's path with .map)");
  app.add_option("--reasons", reasons_path, "the reasons file (YAML: image -> function -> reason)");
  app.add_option("--json", json_path, "also write the report as JSON to this file");
  app.add_option("--fail-under", fail_under, "exit 1 when less than this share (percent) of the blocks is reached");
  app.add_option("blocks", inputs,
                 "executed-block files, or directories whose STEM.*.blocks files are read (STEM: the image's)");
  CLI11_PARSE(app, argc, argv);

  image_coverage::ImageBlocksResult code = image_coverage::ReadImageBlocks(image_path, map_path);
  if (!code.value) {
    std::fprintf(stderr, "image_coverage: %s\n", code.error.c_str());
    return 2;
  }
  std::map<std::string, std::string> reasons;
  if (!reasons_path.empty()) {
    image_coverage::CoverageReasonsResult read = image_coverage::ReadCoverageReasons(reasons_path);
    if (!read.value) {
      std::fprintf(stderr, "image_coverage: %s\n", read.error.c_str());
      return 2;
    }
    reasons = (*read.value)[code.value->stem];
  }
  image_coverage::CollectedRanges collected = image_coverage::CollectRanges(inputs, code.value->stem);
  if (!collected.error.empty()) {
    std::fprintf(stderr, "image_coverage: %s\n", collected.error.c_str());
    return 2;
  }
  image_coverage::ImageCoverage coverage = image_coverage::MeasureCoverage(*code.value, collected.ranges, reasons);
  coverage.files = collected.files;
  std::fputs(image_coverage::CoverageText(coverage).c_str(), stdout);
  if (!json_path.empty()) {
    std::ofstream out(json_path);
    out << image_coverage::CoverageJson(coverage);
    if (!out.flush()) {
      std::fprintf(stderr, "image_coverage: %s: cannot be written\n", json_path.c_str());
      return 2;
    }
  }
  return coverage.Share() < fail_under ? 1 : 0;
}
