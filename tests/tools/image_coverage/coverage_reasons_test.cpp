// The reasons file: reading it, refusing a malformed one with its line, and the reasons the coverage of an
// image takes from it (by full name, by name without parameters, by map symbol), with notes on reasons that
// explain nothing.
#include "tools/image_coverage/coverage_reasons.h"

#include <gtest/gtest.h>

#include "tools/image_coverage/block_coverage.h"

namespace image_coverage {
namespace {

TEST(CoverageReasons, GivesEachImagesReasonsByFunction) {
  CoverageReasonsResult read = ParseCoverageReasons(
      "# why\nplatform_smbios_driver:\n  \"Publish(int)\": the board has no such device\n"
      "trace_status_peim:\n  FatalStop: stops the machine\n  Other: \"a: b\"\nempty_image:\n",
      "reasons.yaml");
  ASSERT_TRUE(read.value) << read.error;
  const CoverageReasons& reasons = *read.value;
  EXPECT_EQ(reasons.at("platform_smbios_driver").at("Publish(int)"), "the board has no such device");
  EXPECT_EQ(reasons.at("trace_status_peim").size(), 2u);
  EXPECT_EQ(reasons.at("trace_status_peim").at("Other"), "a: b");
  EXPECT_TRUE(reasons.at("empty_image").empty());
  EXPECT_TRUE(ParseCoverageReasons("", "reasons.yaml").value);
}

struct BadReasons {
  const char* text;
  const char* error;
};

class BadReasonsFile : public ::testing::TestWithParam<BadReasons> {};

TEST_P(BadReasonsFile, IsRefusedNamingTheLine) {
  CoverageReasonsResult read = ParseCoverageReasons(GetParam().text, "r.yaml");
  EXPECT_FALSE(read.value);
  EXPECT_EQ(read.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadReasonsFile,
    ::testing::Values(
        BadReasons{"- a\n", "r.yaml:1: expected a map of image names"},
        BadReasons{"img:\n  - a\n", "r.yaml:2: expected a map of function name to reason under img"},
        BadReasons{"img:\n  F: [a]\n", "r.yaml:2: expected \"function: reason\" (both text, the reason not empty)"},
        BadReasons{"img:\n  F:\n", "r.yaml:2: expected \"function: reason\" (both text, the reason not empty)"},
        BadReasons{"img:\n  F: a\n  G: b\n  F: c\n", "r.yaml:4: function F is listed twice"}));

TEST(CoverageReasons, AFileThatIsNoYamlIsRefusedWithItsLine) {
  CoverageReasonsResult read = ParseCoverageReasons("img:\n  F: a\n  G: [b\n", "r.yaml");
  EXPECT_FALSE(read.value);
  EXPECT_EQ(read.error.rfind("r.yaml:", 0), 0u) << read.error;
}

// Two one-block functions, Publish(int) and Load32 (symbol _Z6Load32v).
ImageBlocks TwoFunctions() {
  ImageBlocks code;
  code.stem = "img";
  FunctionBlocks publish;
  publish.function = CodeFunction{"Publish(int)", "_Z7Publishi", "a.obj", 0x100, 0x110};
  publish.blocks = {{0x100, 8}, {0x108, 8}};
  FunctionBlocks load;
  load.function = CodeFunction{"Load32()", "_Z6Load32v", "b.obj", 0x110, 0x120};
  load.blocks = {{0x110, 16}};
  code.functions = {publish, load};
  return code;
}

TEST(CoverageReasons, AFunctionNotReachedInFullTakesItsReasonByAnyOfItsNames) {
  ImageBlocks code = TwoFunctions();
  for (const char* key : {"Publish(int)", "Publish", "_Z7Publishi"}) {
    ImageCoverage coverage = MeasureCoverage(code, {{0x100, 8}}, {{key, "why"}});
    EXPECT_EQ(coverage.functions[0].reason, "why") << key;
    EXPECT_TRUE(coverage.functions[1].reason.empty());
    EXPECT_TRUE(coverage.notes.empty()) << key << ": " << coverage.notes.front();
  }
}

TEST(CoverageReasons, AReasonForNoFunctionOrForAFunctionReachedInFullIsANote) {
  ImageBlocks code = TwoFunctions();
  ImageCoverage coverage = MeasureCoverage(code, {{0x110, 1}}, {{"Gone", "old"}, {"Load32", "stale"}});
  ASSERT_EQ(coverage.notes.size(), 2u);
  EXPECT_EQ(coverage.notes[0], "the reasons file names Gone, which is no function of the image");
  EXPECT_EQ(coverage.notes[1], "the reasons file explains Load32, whose blocks are all reached");
  EXPECT_TRUE(coverage.functions[1].reason.empty());
}

}  // namespace
}  // namespace image_coverage
