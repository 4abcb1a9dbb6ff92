// The dump of the default board's table, read back by dmidecode: nothing on its standard error and no bad
// string index, for both entry points.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/boardsim/smbios_command.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class DmidecodeReadback : public ::testing::TestWithParam<int> {};

TEST_P(DmidecodeReadback, DecodesTheDumpWithoutComplaint) {
  const std::string dmidecode = DMIDECODE_PROGRAM;
  if (dmidecode.empty() || dmidecode.find("NOTFOUND") != std::string::npos || !std::filesystem::exists(dmidecode)) {
    GTEST_SKIP() << "dmidecode is not installed";
  }
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("boardsim_dump_" + std::to_string(::getpid()) + "_" + std::to_string(GetParam()));
  std::filesystem::create_directories(dir);
  std::string dump = (dir / "table.bin").string();

  boardsim::SmbiosOptions options;
  options.dump_bin = dump;
  options.entry_point = GetParam();
  std::ostringstream out, err;
  ASSERT_EQ(boardsim::RunSmbiosCommand(options, out, err), 0) << err.str();

  std::string stdout_file = (dir / "out.txt").string();
  std::string stderr_file = (dir / "err.txt").string();
  std::string command = "'" + dmidecode + "' --from-dump '" + dump + "' >'" + stdout_file + "' 2>'" + stderr_file + "'";
  int status = std::system(command.c_str());
  std::string decoded = ReadAll(stdout_file);
  std::string errors = ReadAll(stderr_file);
  std::filesystem::remove_all(dir);

  EXPECT_EQ(status, 0);
  EXPECT_EQ(errors, "");
  EXPECT_EQ(decoded.find("BAD INDEX"), std::string::npos) << decoded;
  EXPECT_NE(decoded.find("System Slot Information"), std::string::npos) << decoded;
  EXPECT_NE(decoded.find("End Of Table"), std::string::npos) << decoded;
  EXPECT_NE(decoded.find(GetParam() == 3 ? "SMBIOS 3.0" : "SMBIOS 2.8"), std::string::npos) << decoded;
}

INSTANTIATE_TEST_SUITE_P(EntryPoints, DmidecodeReadback, ::testing::Values(2, 3));

}  // namespace
