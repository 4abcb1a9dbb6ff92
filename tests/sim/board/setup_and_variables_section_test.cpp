// Board-file sections `setup` and `variables`: the store they fill, and the errors for bad input.
#include <gtest/gtest.h>

#include <string>

#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "sim/dxe/setup_variables.h"
#include "sim/dxe/variable_store.h"
#include "tests/sim/board/board_text_error.h"

namespace {

using board_test::ErrorOf;

sim::VariableStore& Applied(sim::DxePlatform& platform, const std::string& text) {
  sim::ApplyBoard(sim::ParseBoardText(text, "b.yaml"), platform);
  return sim::PlatformVariableStore(platform);
}

size_t StoredSize(sim::VariableStore& store, size_t index) {
  const sim::SetupVariable& v = sim::SetupVariables()[index];
  const sim::StoredVariable* s = store.Find(v.name, v.vendor);
  return s ? s->data.size() : 0;
}

TEST(SetupSection, StatesGiveTheSizesAndFills) {
  sim::DxePlatform platform;
  sim::VariableStore& store = Applied(platform, R"(
setup:
  variables:
    SocketMpLinkConfig: short
    DraskSetup: absent
    VdxRcConfiguration: long
    FpgaSocketConfig: {data: "01 02 03"}
    UgRcConfiguration: {size: 7, fill: 0x5A}
)");
  EXPECT_EQ(StoredSize(store, 0), 5414u);
  EXPECT_EQ(store.Find(u"SocketIioConfig", sim::SetupVariables()[0].vendor)->data[0], 1);
  EXPECT_EQ(store.Find(u"SocketIioConfig", sim::SetupVariables()[0].vendor)->attributes, 7u);
  EXPECT_EQ(StoredSize(store, 2), 60u);
  EXPECT_EQ(store.Find(sim::SetupVariables()[6].name, sim::SetupVariables()[6].vendor), nullptr);
  EXPECT_EQ(StoredSize(store, 7), 1129u + 16u);
  EXPECT_EQ(StoredSize(store, 8), 7u);
  EXPECT_EQ(store.Find(sim::SetupVariables()[8].name, sim::SetupVariables()[8].vendor)->data[6], 0x5A);
  EXPECT_EQ(StoredSize(store, 9), 3u);
}

TEST(SetupSection, DefaultAbsentLeavesOnlyTheListedOnes) {
  sim::DxePlatform platform;
  sim::VariableStore& store = Applied(platform, "setup:\n  default: absent\n  variables:\n    DraskSetup: present\n");
  EXPECT_EQ(store.All().size(), 1u);
  EXPECT_EQ(StoredSize(store, 6), 465u);
}

TEST(VariablesSection, ListedVariablesAndFaultSwitchesReachTheStore) {
  sim::DxePlatform platform;
  sim::VariableStore& store = Applied(platform, R"(
variables:
  write_protected: true
  list:
    - {name: PSU1, guid: 2D667ED8-A97C-49C1-AE0F-409736E25BF4, data: "aa bb"}
    - {name: Big, guid: 2D667ED8-A97C-49C1-AE0F-409736E25BF4, attributes: 7, size: 300, fill: 1}
)");
  EFI_GUID guid = {0x2D667ED8, 0xA97C, 0x49C1, {0xAE, 0x0F, 0x40, 0x97, 0x36, 0xE2, 0x5B, 0xF4}};
  ASSERT_NE(store.Find(u"PSU1", guid), nullptr);
  EXPECT_EQ(store.Find(u"PSU1", guid)->data, (std::vector<uint8_t>{0xAA, 0xBB}));
  EXPECT_EQ(store.Find(u"PSU1", guid)->attributes, 3u);
  EXPECT_EQ(store.Find(u"Big", guid)->data.size(), 300u);
  uint8_t byte = 0;
  EXPECT_EQ(store.SetVariable(u"X", &guid, 3, 1, &byte), EFI_WRITE_PROTECTED);
}

TEST(SetupAndVariablesSections, ErrorsNameTheLineTheFieldAndTheFix) {
  EXPECT_NE(ErrorOf("setup:\n  variables:\n    NoSuchConfig: present\n")
                .find("b.yaml:3: field setup.variables.NoSuchConfig: unknown setup variable `NoSuchConfig` (use one "
                      "of: SocketIioConfig"),
            std::string::npos);
  EXPECT_NE(ErrorOf("setup:\n  variables:\n    DraskSetup: huge\n")
                .find("b.yaml:3: field setup.variables.DraskSetup: unknown state `huge`"),
            std::string::npos);
  EXPECT_NE(ErrorOf("setup:\n  default: maybe\n").find("field setup.default: unknown default `maybe`"),
            std::string::npos);
  EXPECT_NE(ErrorOf("setup:\n  variables:\n    DraskSetup: {data: \"01\", size: 3}\n")
                .find("`data` together with `size`/`fill`"),
            std::string::npos);
  EXPECT_NE(
      ErrorOf("variables:\n  list:\n    - {name: PSU1}\n").find("b.yaml:3: field variables.list[0].guid: missing"),
      std::string::npos);
  EXPECT_NE(ErrorOf("variables:\n  list:\n    - {name: PSU1, guid: 1234}\n").find("field variables.list[0].guid"),
            std::string::npos);
  EXPECT_NE(ErrorOf("variables:\n  list:\n    - {name: PSU1, guid: 2D667ED8-A97C-49C1-AE0F-409736E25BF4}\n")
                .find("field variables.list[0].size: missing"),
            std::string::npos);
}

}  // namespace
