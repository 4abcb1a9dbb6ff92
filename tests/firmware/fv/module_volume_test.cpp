// The built volume of both modules: its layout as this project's reader sees it, and as the outside parser
// (UEFIExtract) sees it: both files by GUID with their types, sections, names and versions, and no complaint.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "firmware/fv/dependency_expression.h"
#include "firmware/fv/module_file.h"
#include "firmware/fv/module_volume.h"
#include "firmware/fv/volume_reader.h"
#include "firmware/pe/pe_image.h"
#include "uefi/pi_ffs_file.h"

namespace {

#ifdef MODULE_VOLUME
std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ModuleVolume, HoldsThePeimRebasedToItsFlashAddressAndTheDriver) {
  const std::vector<uint8_t> bytes = ReadBytes(MODULE_VOLUME);
  const fv::VolumeReadResult r = fv::ReadVolume(bytes);
  ASSERT_TRUE(r.volume) << r.error;
  std::string error;
  const auto peim = fv::FindModule(*r.volume, fv::PeimFileGuid(), EFI_FV_FILETYPE_PEIM, error);
  ASSERT_TRUE(peim) << error;
  const auto driver = fv::FindModule(*r.volume, fv::DriverFileGuid(), EFI_FV_FILETYPE_DRIVER, error);
  ASSERT_TRUE(driver) << error;
  EXPECT_EQ(peim->name, fv::kPeimName);
  EXPECT_EQ(driver->name, fv::kDriverName);
  EXPECT_EQ(peim->image_offset % 32, 0u);  // the image's section alignment
  const pe::ReadResult image = pe::ReadImage(peim->image);
  ASSERT_TRUE(image.Value) << image.Error;
  EXPECT_EQ(image.Value->ImageBase, fv::kModuleVolumeBase + peim->image_offset);
  // The driver's image is the built file as it is (the DXE core relocates it when it loads it).
  EXPECT_EQ(std::vector<uint8_t>(driver->image.begin(), driver->image.end()), ReadBytes(DXE_IMAGE));
  EXPECT_EQ(fv::DescribeDepex(peim->depex),
            "PUSH 0065D394-9951-4144-82A3-0AFC8579C251 PUSH 06E81C58-4AD7-44BC-8390-F10265F72480 AND END");
  EXPECT_EQ(fv::DescribeDepex(driver->depex),
            "PUSH 11B34006-D85B-4D0A-A290-D5A571310EF7 PUSH EF9FC172-A1B2-4693-B327-6D32FC416042 AND "
            "PUSH E03E0D46-5263-4845-B0A4-58D57B3177E2 AND END");
}

// Runs a command, returning its output (stdout and stderr) and exit status.
int RunCommand(const std::string& command, std::string& output) {
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return -1;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) output.append(buffer, n);
  return pclose(p);
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class OutsideParser : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string program = UEFIEXTRACT_PROGRAM;
    if (program.empty() || access(program.c_str(), X_OK) != 0)
      GTEST_SKIP() << "UEFIExtract is not installed (Debian package uefitool-cli; scripts/install-deps.sh installs it)";
    dir_ = std::filesystem::temp_directory_path() / ("fv_check_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    std::filesystem::copy_file(MODULE_VOLUME, dir_ / "modules.fv", std::filesystem::copy_options::overwrite_existing);
    status_ = RunCommand("cd '" + dir_.string() + "' && '" + program + "' modules.fv report", output_);
    report_ = ReadText(dir_ / "modules.fv.report.txt");
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_;
  int status_ = -1;
  std::string output_, report_;
};

TEST_F(OutsideParser, FindsBothFilesByGuidWithTheirTypesNamesAndSections) {
  ASSERT_EQ(status_, 0) << output_;
  ASSERT_FALSE(report_.empty()) << output_;
  EXPECT_NE(report_.find("Volume          | FFSv2"), std::string::npos) << report_;
  EXPECT_NE(report_.find("PEI module            | 00000068 |"), std::string::npos) << report_;
  EXPECT_NE(report_.find("D531DEF2-E61B-4031-A405-14CB130D176A | TraceStatusPeim"), std::string::npos) << report_;
  EXPECT_NE(report_.find("DXE driver"), std::string::npos) << report_;
  EXPECT_NE(report_.find("FF5C5473-13A4-4657-83ED-566599B4FC24 | PlatformSmbiosDriver"), std::string::npos) << report_;
  for (const char* section : {"PEI dependency", "DXE dependency", "PE32 image", "UI", "Version"})
    EXPECT_NE(report_.find("Section         | " + std::string(section)), std::string::npos) << section;
}

TEST_F(OutsideParser, ReportsNoChecksumOrStructureProblem) {
  ASSERT_EQ(status_, 0) << output_;
  // The one message a lone volume gets: it is not a whole flash image, so it ends in no reset-vector file.
  std::string rest = output_;
  const std::string lone = "parse: not a single Volume Top File is found, the image may be corrupted\n";
  if (size_t at = rest.find(lone); at != std::string::npos) rest.erase(at, lone.size());
  EXPECT_EQ(rest, "") << output_;
  EXPECT_EQ(report_.find("invalid"), std::string::npos) << report_;
}

TEST_F(OutsideParser, ReadsEachFilesChecksumsAsValidAndTheVersion) {
  for (const std::string guid : {"D531DEF2-E61B-4031-A405-14CB130D176A", "FF5C5473-13A4-4657-83ED-566599B4FC24"}) {
    std::string out;
    ASSERT_EQ(RunCommand("cd '" + dir_.string() + "' && '" UEFIEXTRACT_PROGRAM "' modules.fv " + guid +
                             " -m info -o info_" + guid.substr(0, 8),
                         out),
              0)
        << out;
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator(dir_ / ("info_" + guid.substr(0, 8))))
      all += ReadText(entry.path());
    EXPECT_NE(all.find("File GUID: " + guid), std::string::npos) << all;
    EXPECT_NE(all.find("Header checksum: "), std::string::npos) << all;
    EXPECT_EQ(all.find("invalid"), std::string::npos) << all;
    EXPECT_NE(all.find("Data checksum: "), std::string::npos) << all;
    EXPECT_NE(all.find("Version string: 1.0"), std::string::npos) << all;
    EXPECT_NE(all.find("Parsed expression:"), std::string::npos) << all;
  }
}
#else
TEST(ModuleVolume, NeedsTheBuiltImages) { GTEST_SKIP() << "this build makes no firmware images"; }
#endif

}  // namespace
