// Block coverage of the built firmware images: which static blocks a set of recorded ranges reaches, with
// the images' own addresses (PE headers, link map).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "firmware/pe/link_map.h"
#include "firmware/pe/pe_image.h"
#include "tools/image_coverage/block_coverage.h"
#include "tools/image_coverage/coverage_report.h"

#if defined(DXE_IMAGE) && defined(PEI_IMAGE)

namespace image_coverage {
namespace {

struct BuiltImage {
  const char* image;
  const char* map;
  const char* entry_symbol;  // as the map lists it
};

void PrintTo(const BuiltImage& built, std::ostream* out) { *out << built.image; }

class ImageBlockCoverage : public ::testing::TestWithParam<BuiltImage> {
 protected:
  void SetUp() override {
    ImageBlocksResult read = ReadImageBlocks(GetParam().image, GetParam().map);
    ASSERT_TRUE(read.value) << read.error;
    code_ = std::move(*read.value);
    std::ifstream in(GetParam().image, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    pe::ReadResult image = pe::ReadImage(bytes_);
    ASSERT_TRUE(image.Value) << image.Error;
    image_ = *image.Value;
    std::ifstream map_in(GetParam().map);
    std::ostringstream map_text;
    map_text << map_in.rdbuf();
    std::optional<pe::MapSymbol> entry = pe::FindMapSymbol(map_text.str(), GetParam().entry_symbol);
    ASSERT_TRUE(entry);
    entry_rva_ = entry->Rva;
    entry_ = code_.FunctionAt(entry_rva_);
    ASSERT_NE(entry_, nullptr);
    ASSERT_FALSE(entry_->blocks.empty());
  }

  const pe::Section& CodeSection() const { return *image_.SectionAt(entry_rva_); }

  // The byte at rva of the image's file.
  uint8_t ByteAt(uint32_t rva) const {
    const pe::Section* section = image_.SectionAt(rva);
    return bytes_.at(section->RawOffset + (rva - section->VirtualAddress));
  }

  ImageBlocks code_;
  std::vector<uint8_t> bytes_;
  pe::Image image_;
  uint32_t entry_rva_ = 0;
  const FunctionBlocks* entry_ = nullptr;
};

TEST_P(ImageBlockCoverage, NoRangeReachesNoBlock) {
  ImageCoverage coverage = MeasureCoverage(code_, {}, {});
  EXPECT_GT(coverage.blocks_total, 0u);
  EXPECT_EQ(coverage.blocks_total, code_.BlockCount());
  EXPECT_EQ(coverage.blocks_reached, 0u);
  for (const FunctionCoverage& function : coverage.functions) {
    EXPECT_EQ(function.unreached.size(), function.blocks->blocks.size()) << function.blocks->function.name;
  }
}

TEST_P(ImageBlockCoverage, ARangeOverTheWholeCodeSectionReachesEveryBlock) {
  const pe::Section& text = CodeSection();
  ImageCoverage coverage = MeasureCoverage(code_, {{text.VirtualAddress, SectionContentSize(text)}}, {});
  EXPECT_EQ(coverage.blocks_reached, coverage.blocks_total);
  EXPECT_EQ(coverage.ranges_outside, 0u);
  std::string total = std::to_string(coverage.blocks_total);
  EXPECT_EQ(CoverageText(coverage).rfind(code_.stem + ": " + total + "/" + total + " blocks reached (100.0%)", 0), 0u);
}

TEST_P(ImageBlockCoverage, TheEntryFunctionsFirstBlockAloneReachesExactlyThatBlock) {
  EXPECT_EQ(entry_rva_, image_.EntryPointRva);
  const StaticBlock& first = entry_->blocks.front();
  ASSERT_EQ(first.rva, entry_rva_);
  ImageCoverage coverage = MeasureCoverage(code_, {{first.rva, first.size}}, {});
  EXPECT_EQ(coverage.blocks_reached, 1u);
  for (const FunctionCoverage& function : coverage.functions) {
    if (function.blocks == entry_) {
      EXPECT_EQ(function.reached, 1u);
      EXPECT_EQ(function.unreached.size(), entry_->blocks.size() - 1);
      EXPECT_EQ(std::count(function.unreached.begin(), function.unreached.end(), first.rva), 0);
    } else {
      EXPECT_EQ(function.reached, 0u) << function.blocks->function.name;
    }
  }
}

TEST_P(ImageBlockCoverage, ARangeStartingInsideABlockDoesNotReachIt) {
  const StaticBlock& first = entry_->blocks.front();
  ASSERT_GT(first.size, 1u);
  ImageCoverage inside = MeasureCoverage(code_, {{first.rva + 1, first.size - 1}}, {});
  EXPECT_EQ(inside.blocks_reached, 0u);
  EXPECT_EQ(inside.ranges_inside_blocks, 1u);
  // Nor does one that ends just before it.
  EXPECT_EQ(MeasureCoverage(code_, {{first.rva - 1, 1}}, {}).blocks_reached, 0u);
}

TEST_P(ImageBlockCoverage, ThePaddingBetweenFunctionsIsNoBlock) {
  // int3 runs after each function's last block, up to the next function.
  std::vector<ExecutedRange> padding;
  for (const FunctionBlocks& function : code_.functions) {
    if (function.blocks.empty()) {
      continue;
    }
    uint32_t last_end = function.blocks.back().rva + function.blocks.back().size;
    uint32_t end = last_end;
    while (end < function.function.end && ByteAt(end) == 0xcc) {
      ++end;
    }
    if (end > last_end && end == function.function.end) {
      padding.push_back({last_end, end - last_end});
    }
  }
  ASSERT_FALSE(padding.empty()) << "the image has no function followed by int3 padding";
  EXPECT_EQ(MeasureCoverage(code_, padding, {}).blocks_reached, 0u);
}

TEST_P(ImageBlockCoverage, EveryCodeByteIsInOneBlockOrIsPaddingOrAJumpTable) {
  for (const FunctionBlocks& function : code_.functions) {
    const CodeFunction& f = function.function;
    EXPECT_TRUE(function.notes.empty()) << f.name << ": " << function.notes.front();
    std::vector<bool> in_block(f.end - f.rva, false);
    std::vector<uint32_t> starts;
    for (const StaticBlock& block : function.blocks) {
      ASSERT_GE(block.rva, f.rva) << f.name;
      ASSERT_LE(block.rva + block.size, f.end) << f.name;
      starts.push_back(block.rva);
      for (uint32_t rva = block.rva; rva < block.rva + block.size; ++rva) {
        EXPECT_FALSE(in_block[rva - f.rva]) << f.name << ": two blocks hold " << rva;
        in_block[rva - f.rva] = true;
      }
    }
    // Each run of bytes outside the blocks: int3/nop padding, then 32-bit entries (from where the padding
    // ends) that point at block starts of the function.
    for (uint32_t at = f.rva; at < f.end;) {
      if (in_block[at - f.rva]) {
        ++at;
        continue;
      }
      uint32_t run_end = at;
      while (run_end < f.end && !in_block[run_end - f.rva]) {
        ++run_end;
      }
      uint32_t table = at;
      while (table < run_end && (ByteAt(table) == 0xcc || ByteAt(table) == 0x90)) {
        ++table;
      }
      bool entries = (run_end - table) % 4 == 0;
      for (uint32_t entry = table; entries && entry < run_end; entry += 4) {
        int32_t offset = static_cast<int32_t>(ByteAt(entry) | ByteAt(entry + 1) << 8 | ByteAt(entry + 2) << 16 |
                                              static_cast<uint32_t>(ByteAt(entry + 3)) << 24);
        entries = std::count(starts.begin(), starts.end(), static_cast<uint32_t>(table + offset)) == 1;
      }
      EXPECT_TRUE(entries) << f.name << ": bytes " << std::hex << at << "-" << run_end
                           << " are in no block and neither padding nor a jump table";
      at = run_end;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Built, ImageBlockCoverage,
                         ::testing::Values(BuiltImage{DXE_IMAGE, DXE_MAP, "PlatformSmbiosDriverEntry"},
                                           BuiltImage{PEI_IMAGE, PEI_MAP, "_TraceStatusPeimEntry"}));

}  // namespace
}  // namespace image_coverage

#endif
