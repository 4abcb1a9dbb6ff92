// The built PEI image against the host-linked module: the same statuses, listeners, violations and every bus
// access (channel writes and MMIO reads, address, width, value, in order) for the built-in sequence and a codes
// file covering every branch, on usable and unusable trace hubs. A difference names the first differing access.
#include <gtest/gtest.h>

#include <sstream>

#include "sim/common/hex_text.h"
#include "tools/boardsim/trace_command.h"

namespace {

#ifdef PEI_IMAGE

std::string Describe(const sim::MmioAccess& a) {
  std::ostringstream out;
  out << (a.write ? "write " : "read ") << a.width << " bytes at " << sim::Hex(a.address) << " value "
      << sim::Hex(a.value);
  return out.str();
}

void ExpectSameRun(const boardsim::TraceRun& host, const boardsim::TraceRun& image) {
  EXPECT_EQ(image.entry_status, host.entry_status);
  EXPECT_EQ(image.listeners, host.listeners);
  EXPECT_EQ(image.violations, host.violations);
  ASSERT_EQ(image.results.size(), host.results.size());
  for (size_t i = 0; i < host.results.size(); ++i) {
    EXPECT_EQ(image.results[i].statuses, host.results[i].statuses) << "code " << i + 1;
  }
  const size_t common = std::min(host.accesses.size(), image.accesses.size());
  for (size_t i = 0; i < common; ++i) {
    if (!(host.accesses[i] == image.accesses[i])) {
      FAIL() << "bus access " << i << " differs: host " << Describe(host.accesses[i]) << ", image "
             << Describe(image.accesses[i]);
    }
  }
  ASSERT_EQ(image.accesses.size(), host.accesses.size())
      << "first access only one side made: "
      << Describe(host.accesses.size() > common ? host.accesses[common] : image.accesses[common]);
}

boardsim::TraceRun ImageRun(const std::vector<boardsim::TraceCode>& codes, const sim::TracePlatformConfig& config) {
  std::string error;
  boardsim::TraceRun run = boardsim::RunTraceImage(codes, config, PEI_IMAGE, error);
  EXPECT_EQ(error, "");
  return run;
}

struct Platform {
  const char* name;
  boardsim::TraceOptions options;
  uint64_t ecam_base;
};

std::vector<Platform> Platforms() {
  boardsim::TraceOptions usable, no_pmc, disabled, undecoded, vanishing;
  no_pmc.no_pmc = true;
  disabled.hub_disabled = true;
  undecoded.window_undecoded = true;
  vanishing.pmc_vanishes_after = 7;
  return {{"usable hub", usable, 0},
          {"usable hub, ECAM at 0xC0000000", usable, 0xC0000000},
          {"usable hub, ECAM at 0x40000000 (where below-4-GiB memory lands by default)", usable, 0x40000000},
          {"usable hub, ECAM at 0x30000000 (the record arena's own place)", usable, 0x30000000},
          {"usable hub, ECAM at 0x20000000", usable, 0x20000000},
          {"no PMC", no_pmc, 0},
          {"hub disabled", disabled, 0},
          {"window undecoded", undecoded, 0},
          {"PMC vanishing after 7 writes", vanishing, 0}};
}

void CompareOnEveryPlatform(const std::vector<boardsim::TraceCode>& codes) {
  for (const Platform& p : Platforms()) {
    SCOPED_TRACE(p.name);
    const sim::TracePlatformConfig config = boardsim::TracePlatformOf(p.options, p.ecam_base);
    const boardsim::TraceRun host = boardsim::RunTrace(codes, config);
    const boardsim::TraceRun image = ImageRun(codes, config);
    ExpectSameRun(host, image);
  }
}

TEST(TraceImageEquivalence, TheBuiltInSequenceMakesTheSameBusAccessesOnEveryPlatform) {
  CompareOnEveryPlatform(boardsim::BuiltInTraceCodes());
}

TEST(TraceImageEquivalence, EveryBranchConversionAndTextLengthMakesTheSameBusAccesses) {
  const auto codes = boardsim::LoadTraceCodes(TRACE_TESTS_DIR "/every_branch_codes.yaml");
  ASSERT_GE(codes.size(), 28u);
  CompareOnEveryPlatform(codes);
  // The usable hub carries every message, the longest cut at 2047 characters.
  const boardsim::TraceRun image = ImageRun(codes, boardsim::TracePlatformOf({}, 0));
  size_t longest = 0;
  for (const auto& r : image.results) {
    for (const auto& m : r.messages) longest = std::max(longest, m.Text().size());
  }
  EXPECT_EQ(longest, 2047u);
}

TEST(TraceImageEquivalence, TheComparisonSeesADifferentWrite) {
  // A guard on the comparison itself: a different text changes the image's accesses.
  auto codes = boardsim::BuiltInTraceCodes();
  const boardsim::TraceRun host = boardsim::RunTrace(codes, sim::TracePlatformConfig{});
  codes[6].value ^= 1;
  const boardsim::TraceRun image = ImageRun(codes, sim::TracePlatformConfig{});
  ASSERT_EQ(image.accesses.size(), host.accesses.size());
  EXPECT_NE(image.accesses, host.accesses);
}

TEST(TraceImageEquivalence, ACorruptImageIsRefusedBeforeAnythingRuns) {
  std::string error;
  const boardsim::TraceRun run = boardsim::RunTraceImage(boardsim::BuiltInTraceCodes(), sim::TracePlatformConfig{},
                                                         TRACE_TESTS_DIR "/every_branch_codes.yaml", error);
  EXPECT_NE(error.find("every_branch_codes.yaml"), std::string::npos) << error;
  EXPECT_TRUE(run.results.empty());
  EXPECT_TRUE(run.accesses.empty());
}

#else

TEST(TraceImageEquivalence, NeedsTheBuiltImages) { GTEST_SKIP() << "this build makes no firmware images"; }

#endif

}  // namespace
