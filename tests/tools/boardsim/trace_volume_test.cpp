// `boardsim trace --fv`: the PEI module dispatched from the built volume, executing in place from it, makes the
// host-linked module's bus accesses and prints its lines; an unsatisfied dependency expression, a volume built
// for another base and a damaged volume are refused before anything runs.
#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "firmware/fv/module_volume.h"
#include "tools/boardsim/trace_command.h"

namespace {

#ifdef MODULE_VOLUME
std::vector<uint8_t> ReadBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string WriteTemp(const std::vector<uint8_t>& bytes, const std::string& name) {
  const std::string path =
      (std::filesystem::temp_directory_path() / (name + std::to_string(getpid()) + ".fv")).string();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::string Printed(const boardsim::TraceRun& run, const sim::TracePlatformConfig& config) {
  std::ostringstream out;
  PrintTraceRun(run, boardsim::TraceOptions{}, "test", config, out);
  return out.str();
}

TEST(TraceVolume, TheVolumesPeimMakesTheHostModulesAccessesAndLinesOnEveryPlatform) {
  boardsim::TraceOptions usable, no_pmc, disabled, vanishing;
  no_pmc.no_pmc = true;
  disabled.hub_disabled = true;
  vanishing.pmc_vanishes_after = 7;
  for (const boardsim::TraceOptions& o : {usable, no_pmc, disabled, vanishing}) {
    const sim::TracePlatformConfig config = boardsim::TracePlatformOf(o, 0);
    const auto codes = boardsim::BuiltInTraceCodes();
    const boardsim::TraceRun host = boardsim::RunTrace(codes, config);
    std::string error, refusal;
    const boardsim::TraceRun volume = boardsim::RunTraceVolume(codes, config, MODULE_VOLUME, error, refusal);
    ASSERT_EQ(error, "");
    ASSERT_EQ(refusal, "");
    EXPECT_EQ(volume.violations, host.violations);
    EXPECT_TRUE(volume.accesses == host.accesses)
        << volume.accesses.size() << " accesses against " << host.accesses.size();
    EXPECT_EQ(Printed(volume, config), Printed(host, config));
  }
}

TEST(TraceVolume, APlatformWithoutThePcdPpiLeavesThePeimUndispatched) {
  sim::TracePlatformConfig config = boardsim::TracePlatformOf({}, 0);
  config.pei.install_pcd_ppi = false;
  std::string error, refusal;
  const boardsim::TraceRun run =
      boardsim::RunTraceVolume(boardsim::BuiltInTraceCodes(), config, MODULE_VOLUME, error, refusal);
  EXPECT_EQ(error, "");
  EXPECT_NE(refusal.find("not dispatched"), std::string::npos) << refusal;
  EXPECT_NE(refusal.find("missing: PCD PPI 06E81C58-4AD7-44BC-8390-F10265F72480"), std::string::npos) << refusal;
  EXPECT_EQ(refusal.find("report-status-code"), std::string::npos) << refusal;
  EXPECT_TRUE(run.results.empty());
  EXPECT_EQ(run.listeners, 0u);
}

TEST(TraceVolume, AVolumeBuiltForAnotherBaseIsRefusedAsNotRebased) {
  std::string error;
  const fv::ModuleVolume other = fv::BuildModuleVolume(ReadBytes(DXE_IMAGE), ReadBytes(PEI_IMAGE), 0xFFE00000, error);
  ASSERT_FALSE(other.bytes.empty()) << error;
  EXPECT_EQ(other.peim_image_base, 0xFFE000C0u);
  const std::string path = WriteTemp(other.bytes, "fv_other_base_");
  std::string refusal;
  const boardsim::TraceRun run =
      boardsim::RunTraceVolume(boardsim::BuiltInTraceCodes(), boardsim::TracePlatformOf({}, 0), path, error, refusal);
  EXPECT_NE(error.find("linked for 0xFFE000C0 but executes in place at 0xFFF000C0"), std::string::npos) << error;
  EXPECT_TRUE(run.results.empty());
  std::filesystem::remove(path);
}

TEST(TraceVolume, ADamagedVolumeIsBadInputAndNothingRuns) {
  std::vector<uint8_t> bytes = ReadBytes(MODULE_VOLUME);
  bytes[0x100] ^= 0x55;  // inside the PEI module's image: its data checksum no longer holds
  const std::string path = WriteTemp(bytes, "fv_damaged_");
  boardsim::TraceOptions options;
  options.fv_file = path;
  std::ostringstream out, err;
  EXPECT_EQ(boardsim::RunTraceCommand(options, out, err), boardsim::kTraceBadInput);
  EXPECT_NE(err.str().find("data checksum"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("offset 0x79"), std::string::npos) << err.str();  // the PEIM's checksum byte
  EXPECT_EQ(out.str(), "");
  std::filesystem::remove(path);
}
#else
TEST(TraceVolume, NeedsTheBuiltVolume) { GTEST_SKIP() << "this build makes no firmware volume"; }
#endif

}  // namespace
