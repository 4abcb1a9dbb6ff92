// Board-file sections `bmc` and `smm`: what they put into the platform, and the errors for bad input.
#include <gtest/gtest.h>

#include <string>

#include "sim/board/board_boot.h"
#include "sim/board/board_file.h"
#include "sim/dxe/ipmi_bmc.h"
#include "tests/sim/board/board_text_error.h"
#include "tests/support/platform_checks.h"
#include "uefi/protocols/smm_base2.h"

namespace {

using board_test::ErrorOf;

TEST(BmcSection, SuppliesFromFieldsAndBytesWithTheirScripts) {
  sim::Board board = sim::ParseBoardText(R"(
bmc:
  send_time_us: 20
  silent_timeout_us: 3000
  supplies:
    - supply: 1
      fru: {manufacturer: ACME, product: PS-1, capacity: 900}
      script:
        - chunk: all
          steps: [{busy: 2}, {completion: 1, code: 0xC1}, {error: 1, status: no_response}]
    - supply: 2
      fru_bytes: "01 02 03"
      silent: true
)",
                                         "b.yaml");
  ASSERT_TRUE(board.bmc.has_value());
  EXPECT_EQ(board.bmc->timing.send_us, 20u);
  EXPECT_EQ(board.bmc->timing.silence_us, 3000u);
  const sim::BmcSupply& one = board.bmc->supplies.at(1);
  ASSERT_EQ(one.fru.size(), 128u);
  EXPECT_EQ(one.fru[93] | one.fru[94] << 8, 900);
  ASSERT_EQ(one.scripts.size(), 4u);
  const auto& steps = one.scripts.at(3);
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(steps[0].kind, sim::BmcActionKind::Busy);
  EXPECT_EQ(steps[0].count, 2u);
  EXPECT_EQ(steps[1].completion_code, 0xC1);
  EXPECT_EQ(steps[2].status, EFI_NO_RESPONSE);
  EXPECT_EQ(board.bmc->supplies.at(2).fru, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_TRUE(board.bmc->supplies.at(2).silent);
}

TEST(BmcSection, AppliedBoardHasTheTransportAndTheSmmProtocolOnlyWhenGiven) {
  sim::Board with = sim::ParseBoardText("bmc:\n  supplies: []\nsmm:\n  in_smm: true\n", "b.yaml");
  sim::DxePlatform platform;
  sim::ApplyBoard(with, platform);
  void* interface = nullptr;
  EFI_GUID ipmi = IPMI_TRANSPORT_PROTOCOL_GUID;
  EFI_GUID smm = EFI_SMM_BASE2_PROTOCOL_GUID;
  EXPECT_EQ(platform.Protocols().Locate(ipmi, &interface), EFI_SUCCESS);
  ASSERT_EQ(platform.Protocols().Locate(smm, &interface), EFI_SUCCESS);
  BOOLEAN in = FALSE;
  auto* base = static_cast<EFI_SMM_BASE2_PROTOCOL*>(interface);
  base->InSmm(base, &in);
  EXPECT_EQ(in, TRUE);
}

TEST(BmcSection, ABoardWithoutTheSectionsHasNeitherProtocol) {
  sim::DxePlatform platform;
  sim::ApplyBoard(sim::ParseBoardText("name: bare\n", "b.yaml"), platform);
  void* interface = nullptr;
  EFI_GUID ipmi = IPMI_TRANSPORT_PROTOCOL_GUID;
  EFI_GUID smm = EFI_SMM_BASE2_PROTOCOL_GUID;
  EXPECT_EQ(platform.Protocols().Locate(ipmi, &interface), EFI_NOT_FOUND);
  EXPECT_EQ(platform.Protocols().Locate(smm, &interface), EFI_NOT_FOUND);
}

TEST(BmcSection, ErrorsNameTheLineTheFieldAndTheFix) {
  EXPECT_EQ(ErrorOf("bmc:\n  supplies:\n    - supply: 1\n      fru: {serial: X}\n"),
            "b.yaml:4: field bmc.supplies[0].fru.serial: a one-character field cannot be encoded (type/length 0xC1 "
            "marks the end of the fields; use an empty value or two or more characters) (see the limits above)");
  EXPECT_NE(ErrorOf("bmc:\n  supplies:\n    - supply: 1\n      fru: {capacity: 5000}\n")
                .find("b.yaml:4: field bmc.supplies[0].fru.capacity: 5000 is too large"),
            std::string::npos);
  EXPECT_NE(ErrorOf("bmc:\n  supplies:\n    - supply: 1\n    - supply: 1\n")
                .find("b.yaml:4: field "
                      "bmc.supplies[1].supply: supply 1 "
                      "given twice"),
            std::string::npos);
  EXPECT_NE(ErrorOf("bmc:\n  supplies:\n    - supply: 2\n      script:\n        - chunk: 5\n          steps: []\n")
                .find("field bmc.supplies[0].script[0].chunk: 5 is too large"),
            std::string::npos);
  EXPECT_NE(ErrorOf("bmc:\n  supplies:\n    - supply: 2\n      script:\n        - chunk: 1\n          steps: "
                    "[{busy: 1, silent: 2}]\n")
                .find("a step names 2 actions"),
            std::string::npos);
  EXPECT_NE(ErrorOf("bmc:\n  supplies:\n    - supply: 2\n      script:\n        - chunk: 1\n          steps: "
                    "[{completion: 1}]\n")
                .find("steps[0].code: missing"),
            std::string::npos);
  EXPECT_NE(ErrorOf("bmc:\n  supplies:\n    - supply: 2\n      script:\n        - chunk: 1\n          steps: "
                    "[{error: 1, status: broken}]\n")
                .find("unknown status `broken` (use one of: device_error"),
            std::string::npos);
  EXPECT_NE(ErrorOf("bmc:\n  supplies:\n    - supply: 2\n      fru: {}\n      fru_bytes: \"00\"\n")
                .find("both `fru` and `fru_bytes` given"),
            std::string::npos);
  EXPECT_NE(ErrorOf("smm:\n  in_smm: maybe\n").find("b.yaml:2: field smm.in_smm: not a yes/no value"),
            std::string::npos);
}

}  // namespace
