// Reading the emulator's executed-block files: the ranges of a good file, the refusal of every malformed
// line with its file and line, and the files of a directory that belong to one image.
#include "tools/image_coverage/blocks_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace image_coverage {
namespace {

TEST(BlocksFile, GivesTheImageAndEveryRangeInOrder) {
  BlocksFileResult read =
      ParseBlocksFile("# image trace_status_peim\n0x220 0x3\n0X1A2b 0x10\r\n0xffffffff 0x1\n", "a.blocks");
  ASSERT_TRUE(read.value) << read.error;
  EXPECT_EQ(read.value->stem, "trace_status_peim");
  ASSERT_EQ(read.value->ranges.size(), 3u);
  EXPECT_EQ(read.value->ranges[0].rva, 0x220u);
  EXPECT_EQ(read.value->ranges[0].size, 0x3u);
  EXPECT_EQ(read.value->ranges[1].rva, 0x1a2bu);
  EXPECT_EQ(read.value->ranges[1].size, 0x10u);
  EXPECT_EQ(read.value->ranges[2].rva, 0xffffffffu);
}

TEST(BlocksFile, AFileWithOnlyItsImageLineHasNoRanges) {
  BlocksFileResult read = ParseBlocksFile("# image platform_smbios_driver\n", "a.blocks");
  ASSERT_TRUE(read.value) << read.error;
  EXPECT_TRUE(read.value->ranges.empty());
}

struct Malformed {
  const char* text;
  const char* error;
};

class MalformedBlocksFile : public ::testing::TestWithParam<Malformed> {};

TEST_P(MalformedBlocksFile, IsRefusedNamingTheFileAndLine) {
  BlocksFileResult read = ParseBlocksFile(GetParam().text, "run/x.blocks");
  EXPECT_FALSE(read.value);
  EXPECT_EQ(read.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MalformedBlocksFile,
    ::testing::Values(
        Malformed{"", "run/x.blocks:1: empty file: no \"# image STEM\" line"},
        Malformed{"0x10 0x2\n", "run/x.blocks:1: the first line is not \"# image STEM\""},
        Malformed{"# image\n", "run/x.blocks:1: the first line is not \"# image STEM\""},
        Malformed{"# image a b\n", "run/x.blocks:1: the first line is not \"# image STEM\""},
        Malformed{"# image a\n0x10 0x2\n0x10\n", "run/x.blocks:3: \"0x10\" is not \"0xRVA 0xSIZE\""},
        Malformed{"# image a\n\n", "run/x.blocks:2: \"\" is not \"0xRVA 0xSIZE\""},
        Malformed{"# image a\n0x10 0x2 0x3\n", "run/x.blocks:2: \"0x10 0x2 0x3\" is not \"0xRVA 0xSIZE\""},
        Malformed{"# image a\n10 0x2\n", "run/x.blocks:2: start \"10\" is not a 32-bit hex number with 0x"},
        Malformed{"# image a\n0x 0x2\n", "run/x.blocks:2: start \"0x\" is not a 32-bit hex number with 0x"},
        Malformed{"# image a\n0x1g 0x2\n", "run/x.blocks:2: start \"0x1g\" is not a 32-bit hex number with 0x"},
        Malformed{"# image a\n0x100000000 0x2\n",
                  "run/x.blocks:2: start \"0x100000000\" is not a 32-bit hex number with 0x"},
        Malformed{"# image a\n0x10 -0x2\n", "run/x.blocks:2: size \"-0x2\" is not a 32-bit hex number with 0x"},
        Malformed{"# image a\n0xfffffff0 0x11\n", "run/x.blocks:2: range 0xfffffff0+0x11 runs past 4 GiB"}));

TEST(BlocksFile, AMissingFileIsAnErrorNamingIt) {
  BlocksFileResult read = ReadBlocksFile("/nonexistent/x.blocks");
  EXPECT_FALSE(read.value);
  EXPECT_EQ(read.error, "/nonexistent/x.blocks: cannot be read");
}

TEST(BlocksFile, ADirectoryGivesTheFilesOfOneImageSorted) {
  std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "blocks_file_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "trace_status_peim.9.1.blocks");  // a directory, not a file
  for (const char* name :
       {"trace_status_peim.20.1.blocks", "trace_status_peim.10.2.blocks", "platform_smbios_driver.10.1.blocks",
        "trace_status_peim.10.1.txt", "trace.10.1.blocks", "trace_status_peim.blocks"}) {
    std::ofstream(dir / name) << "# image x\n";
  }
  std::vector<std::string> files = BlocksFilesIn(dir.string(), "trace_status_peim");
  std::vector<std::string> expected{(dir / "trace_status_peim.10.2.blocks").string(),
                                    (dir / "trace_status_peim.20.1.blocks").string()};
  EXPECT_EQ(files, expected);
  std::filesystem::remove_all(dir);
}

TEST(BlocksFile, RangesAreCollectedFromDirectoriesAndFilesOfTheImageOnly) {
  std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / "collect_ranges_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "runs");
  std::ofstream(dir / "runs" / "img.1.1.blocks") << "# image img\n0x10 0x2\n";
  std::ofstream(dir / "runs" / "img.1.2.blocks") << "# image img\n0x20 0x4\n0x30 0x1\n";
  std::ofstream(dir / "runs" / "other.1.1.blocks") << "# image other\n0x40 0x1\n";
  std::ofstream(dir / "extra.blocks") << "# image img\n0x50 0x8\n";
  std::ofstream(dir / "foreign.blocks") << "# image other\n0x60 0x1\n";
  std::ofstream(dir / "broken.blocks") << "# image img\n0x70\n";

  CollectedRanges collected = CollectRanges({(dir / "runs").string(), (dir / "extra.blocks").string()}, "img");
  EXPECT_TRUE(collected.error.empty()) << collected.error;
  EXPECT_EQ(collected.files, 3u);
  std::vector<uint32_t> starts;
  for (const ExecutedRange& range : collected.ranges) {
    starts.push_back(range.rva);
  }
  EXPECT_EQ(starts, (std::vector<uint32_t>{0x10, 0x20, 0x30, 0x50}));

  // A file named on its own must be of the image; a malformed one stops the collection with its line.
  std::string foreign = (dir / "foreign.blocks").string();
  EXPECT_EQ(CollectRanges({foreign}, "img").error, foreign + ":1: the ranges are of image other, not img");
  std::string broken = (dir / "broken.blocks").string();
  EXPECT_EQ(CollectRanges({(dir / "runs").string(), broken}, "img").error,
            broken + ":2: \"0x70\" is not \"0xRVA 0xSIZE\"");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace image_coverage
