// Keeping non-volatile variables in a file between runs.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "sim/dxe/nvram_file.h"

namespace {

constexpr EFI_GUID kVendor = {0x2D667ED8, 0xA97C, 0x49C1, {0xAE, 0x0F, 0x40, 0x97, 0x36, 0xE2, 0x5B, 0xF4}};

std::string TempPath(const std::string& leaf) {
  return (std::filesystem::temp_directory_path() / ("nvram_" + std::to_string(::getpid()) + "_" + leaf)).string();
}

TEST(NvramFile, SavedNonVolatileVariablesComeBackInASecondStore) {
  sim::VariableStore first;
  EFI_GUID vendor = kVendor;
  uint8_t data[] = {0x00, 0x7F, 0xFF};
  ASSERT_EQ(first.SetVariable(u"PSU1", &vendor, 3, 3, data), EFI_SUCCESS);
  ASSERT_EQ(first.SetVariable(u"Sp ace\u00E9", &vendor, 3, 1, data), EFI_SUCCESS);
  ASSERT_EQ(first.SetVariable(u"Volatile", &vendor, EFI_VARIABLE_BOOTSERVICE_ACCESS, 1, data), EFI_SUCCESS);
  first.Put(u"FromBoard", kVendor, 3, {1});  // given by the board, not written by the firmware
  std::string path = TempPath("roundtrip");
  sim::SaveNvramFile(path, first);

  sim::VariableStore second;
  ASSERT_TRUE(sim::LoadNvramFile(path, second));
  std::filesystem::remove(path);
  ASSERT_EQ(second.All().size(), 2u);
  ASSERT_NE(second.Find(u"PSU1", kVendor), nullptr);
  EXPECT_EQ(second.Find(u"PSU1", kVendor)->data, (std::vector<uint8_t>{0x00, 0x7F, 0xFF}));
  EXPECT_EQ(second.Find(u"PSU1", kVendor)->attributes, 3u);
  EXPECT_NE(second.Find(u"Sp ace\u00E9", kVendor), nullptr);
  EXPECT_EQ(second.Find(u"Volatile", kVendor), nullptr);
  EXPECT_EQ(second.Find(u"FromBoard", kVendor), nullptr);
  // What the file carried in is kept by the next save, written again or not.
  std::string again = sim::NvramText(second);
  EXPECT_NE(again.find(" PSU1 "), std::string::npos);
}

TEST(NvramFile, MissingFileIsAFirstRunAndChangesNothing) {
  sim::VariableStore store;
  store.Put(u"Kept", kVendor, 3, {1});
  EXPECT_FALSE(sim::LoadNvramFile(TempPath("absent"), store));
  EXPECT_EQ(store.All().size(), 1u);
}

TEST(NvramFile, FileVariablesReplaceTheSameNamedOnes) {
  sim::VariableStore store;
  store.Put(u"PSU1", kVendor, 3, {1});
  sim::ParseNvramText("2D667ED8-A97C-49C1-AE0F-409736E25BF4 PSU1 0x3 0a0b\n", "nv.txt", store);
  EXPECT_EQ(store.Find(u"PSU1", kVendor)->data, (std::vector<uint8_t>{0x0A, 0x0B}));
}

TEST(NvramFile, MalformedLinesNameTheFileLineAndField) {
  sim::VariableStore store;
  auto message = [&](const std::string& text) {
    try {
      sim::ParseNvramText(text, "nv.txt", store);
    } catch (const sim::NvramFileError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message("# comment\n\nnot-a-guid PSU1 3 00\n").rfind("nv.txt:3: field guid", 0), 0u);
  EXPECT_EQ(message("2D667ED8-A97C-49C1-AE0F-409736E25BF4 PSU1 3 0\n").rfind("nv.txt:1: field data", 0), 0u);
  EXPECT_EQ(message("2D667ED8-A97C-49C1-AE0F-409736E25BF4 PSU1 x3 00\n").rfind("nv.txt:1: field attributes", 0), 0u);
  EXPECT_EQ(message("2D667ED8-A97C-49C1-AE0F-409736E25BF4 PSU1\n").rfind("nv.txt:1: field variable", 0), 0u);
  EXPECT_TRUE(store.All().empty());  // nothing is taken from a file with an error
}

}  // namespace
