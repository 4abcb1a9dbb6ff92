// The printed coverage of an image: the summary line, each function not reached in full with its unreached
// blocks and reason, the notes; and the same as JSON.
#include "tools/image_coverage/coverage_report.h"

#include <gtest/gtest.h>

namespace image_coverage {
namespace {

ImageBlocks Code() {
  ImageBlocks code;
  code.stem = "img";
  FunctionBlocks full;
  full.function = CodeFunction{"Full()", "_Z4Fullv", "a.obj", 0x100, 0x110};
  full.blocks = {{0x100, 16}};
  FunctionBlocks part;
  part.function = CodeFunction{"Part(char const*)", "_Z4PartPKc", "b\"c.obj", 0x110, 0x140};
  part.blocks = {{0x110, 8}, {0x118, 8}, {0x120, 0x20}};
  code.functions = {full, part};
  return code;
}

TEST(CoverageReport, ListsEachFunctionNotReachedInFullWithItsUnreachedBlocksAndReason) {
  ImageBlocks code = Code();
  // Two ranges start at 0x124, inside the block at 0x120: the count has both, the list the start once.
  ImageCoverage coverage = MeasureCoverage(code, {{0x100, 0x10}, {0x124, 1}, {0x118, 4}, {0x200, 1}, {0x124, 2}},
                                           {{"Part", "no such board"}, {"Gone", "x"}});
  coverage.files = 2;
  EXPECT_EQ(CoverageText(coverage),
            "img: 2/4 blocks reached (50.0%) in 2 functions, from 5 ranges of 2 files (1 ranges start in no function) "
            "(2 ranges start inside a block)\n"
            "functions not reached in full: 1\n"
            "  Part(char const*) [b\"c.obj]: 1/3 blocks\n"
            "    unreached: 0x110 0x120\n"
            "    reason: no such board\n"
            "ranges starting inside a block: 0x124\n"
            "note: the reasons file names Gone, which is no function of the image\n");
}

TEST(CoverageReport, AnImageReachedInFullPrintsItsSummaryAlone) {
  ImageBlocks code = Code();
  ImageCoverage coverage = MeasureCoverage(code, {{0x100, 0x40}}, {});
  EXPECT_EQ(CoverageText(coverage), "img: 4/4 blocks reached (100.0%) in 2 functions, from 1 ranges of 0 files\n");
}

TEST(CoverageReport, JsonHoldsEveryFunctionWithItsFiguresEscaped) {
  ImageBlocks code = Code();
  ImageCoverage coverage =
      MeasureCoverage(code, {{0x100, 0x10}, {0x118, 4}, {0x11a, 2}}, {{"Part", "a \"quoted\"\nreason"}});
  coverage.files = 1;
  std::string json = CoverageJson(coverage);
  EXPECT_NE(json.find("\"image\": \"img\",\n  \"blocks_total\": 4,\n  \"blocks_reached\": 2,\n  \"share\": 50.00,\n"
                      "  \"files\": 1,\n  \"ranges\": 3,\n  \"ranges_outside\": 0,\n  \"ranges_inside_blocks\": 1,\n"
                      "  \"inside_starts\": [\"0x11a\"],\n  \"functions\": ["),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("{\"name\": \"Full()\", \"symbol\": \"_Z4Fullv\", \"object\": \"a.obj\", \"rva\": \"0x100\", "
                      "\"size\": 16, \"blocks_total\": 1, \"blocks_reached\": 1, \"unreached\": [], \"reason\": \"\"}"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"object\": \"b\\\"c.obj\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"unreached\": [\"0x110\", \"0x120\"], \"reason\": \"a \\\"quoted\\\"\\nreason\"}"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"notes\": []"), std::string::npos) << json;
}

TEST(CoverageReport, PrintsTenUnreachedBlocksALine) {
  ImageBlocks code;
  code.stem = "img";
  FunctionBlocks many;
  many.function = CodeFunction{"Many()", "_Z4Manyv", "m.obj", 0x10, 0x10 + 11};
  for (uint32_t rva = 0x10; rva < 0x10 + 11; ++rva) {
    many.blocks.push_back({rva, 1});
  }
  code.functions = {many};
  std::string text = CoverageText(MeasureCoverage(code, {}, {}));
  EXPECT_NE(text.find("    unreached: 0x10 0x11 0x12 0x13 0x14 0x15 0x16 0x17 0x18 0x19\n               0x1a\n"),
            std::string::npos)
      << text;
}

}  // namespace
}  // namespace image_coverage
