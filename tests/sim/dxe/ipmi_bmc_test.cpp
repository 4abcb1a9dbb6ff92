// The simulated BMC behind the IPMI transport: FRU chunks, scripted answers, counting, virtual time, scripts
// consumed, malformed requests.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/dxe/ipmi_bmc.h"
#include "tests/support/platform_checks.h"

namespace {

using sim::BmcAction;
using sim::BmcActionKind;

std::vector<uint8_t> CountingImage() {
  std::vector<uint8_t> image(128);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i + 1);
  return image;
}

class BmcModelTest : public sim_test::PlatformTest {
 protected:
  void SetUp() override {
    bmc = &sim::InstallIpmiBmc(platform);
    EFI_GUID guid = IPMI_TRANSPORT_PROTOCOL_GUID;
    void* interface = nullptr;
    ASSERT_EQ(platform.Protocols().Locate(guid, &interface), EFI_SUCCESS);
    ipmi = static_cast<IPMI_TRANSPORT_PROTOCOL*>(interface);
  }

  // One FRU chunk request as the driver sends it.
  EFI_STATUS Send(uint8_t supply, uint8_t chunk, uint8_t net_function = 0x30, uint8_t command = 0xA1,
                  uint8_t request_size = 2) {
    uint8_t request[2] = {supply, chunk};
    response.assign(32, 0xEE);
    response_size = 32;
    return ipmi->SendIpmiCommand(ipmi, net_function, 0, command, request, request_size, response.data(),
                                 &response_size);
  }

  sim::BmcModel* bmc = nullptr;
  IPMI_TRANSPORT_PROTOCOL* ipmi = nullptr;
  std::vector<uint8_t> response;
  UINT32 response_size = 0;
};

TEST_F(BmcModelTest, ProtocolLayoutPutsTheCompletionCodeAfterTheRevisionAndSendThird) {
  EXPECT_EQ(offsetof(IPMI_TRANSPORT_PROTOCOL, CompletionCode), 8u);
  EXPECT_EQ(offsetof(IPMI_TRANSPORT_PROTOCOL, SendIpmiCommand), 2 * sizeof(void*));
}

TEST_F(BmcModelTest, AnswerServesTheChunkOfTheImageAndCostsSendTime) {
  bmc->SetFru(2, CountingImage());
  ASSERT_EQ(Send(2, 3), EFI_SUCCESS);
  EXPECT_EQ(ipmi->CompletionCode, 0x00);
  EXPECT_EQ(response_size, 32u);
  EXPECT_EQ(response[0], 65);  // image byte 64
  EXPECT_EQ(response[31], 96);
  EXPECT_EQ(platform.Clock().NowMicroseconds(), 1000u);
  EXPECT_EQ(bmc->SendCount(2, 3), 1u);
  EXPECT_EQ(platform.Calls().Get("Ipmi.SendIpmiCommand"), 1u);
}

TEST_F(BmcModelTest, BusyStepsAnswerNodeBusyThenTheDefaultAnswerFollows) {
  bmc->SetFru(1, CountingImage());
  bmc->Script(1, 1, {BmcAction{BmcActionKind::Busy, 3}});
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(Send(1, 1), EFI_SUCCESS);
    EXPECT_EQ(ipmi->CompletionCode, 0xC0);
  }
  ASSERT_EQ(Send(1, 1), EFI_SUCCESS);
  EXPECT_EQ(ipmi->CompletionCode, 0x00);
  EXPECT_EQ(response[0], 1);
  EXPECT_TRUE(bmc->UnconsumedSteps().empty());
}

TEST_F(BmcModelTest, ScriptsArePerChunk) {
  bmc->SetFru(1, CountingImage());
  bmc->Script(1, 2, {BmcAction{BmcActionKind::Completion, 1, 0xC1}});
  ASSERT_EQ(Send(1, 1), EFI_SUCCESS);
  EXPECT_EQ(ipmi->CompletionCode, 0x00);
  ASSERT_EQ(Send(1, 2), EFI_SUCCESS);
  EXPECT_EQ(ipmi->CompletionCode, 0xC1);
  EXPECT_EQ(response_size, 0u);
}

TEST_F(BmcModelTest, TransportErrorFailsTheCallAndLeavesTheCompletionCodeAsItWas) {
  bmc->SetFru(1, CountingImage());
  bmc->Script(1, 1,
              {BmcAction{BmcActionKind::Answer, 1}, BmcAction{BmcActionKind::TransportError, 1, 0, EFI_NO_RESPONSE}});
  ASSERT_EQ(Send(1, 1), EFI_SUCCESS);
  ipmi->CompletionCode = 0x00;
  EXPECT_EQ(Send(1, 1), EFI_NO_RESPONSE);
  EXPECT_EQ(ipmi->CompletionCode, 0x00);  // stale: only the status tells the failure
}

TEST_F(BmcModelTest, SilenceTimesOutAfterTheSilenceCost) {
  bmc->SetFru(2, CountingImage());
  bmc->SetSilent(2, true);
  bmc->SetTiming({500, 250000});
  EXPECT_EQ(Send(2, 1), EFI_TIMEOUT);
  EXPECT_EQ(platform.Clock().NowMicroseconds(), 250000u);
  ASSERT_EQ(bmc->Sends().size(), 1u);
  EXPECT_EQ(bmc->Sends()[0].outcome, BmcActionKind::Silence);
}

TEST_F(BmcModelTest, CorruptAnswerChangesOneChecksummedByte) {
  std::vector<uint8_t> image = CountingImage();
  bmc->SetFru(1, image);
  bmc->Script(1, 1, {BmcAction{BmcActionKind::Corrupt, 1}});
  bmc->Script(1, 4, {BmcAction{BmcActionKind::Corrupt, 1}});
  ASSERT_EQ(Send(1, 1), EFI_SUCCESS);
  size_t differing = 0;
  for (size_t i = 0; i < 32; ++i) differing += response[i] != image[i];
  EXPECT_EQ(differing, 1u);
  EXPECT_NE(response[24], image[24]);  // inside the Product Info Area
  ASSERT_EQ(Send(1, 4), EFI_SUCCESS);
  EXPECT_NE(response[0], image[96]);  // inside the MultiRecord data
}

TEST_F(BmcModelTest, SupplyWithoutImageAnswersDataNotPresent) {
  ASSERT_EQ(Send(2, 1), EFI_SUCCESS);
  EXPECT_EQ(ipmi->CompletionCode, 0xCB);
  ASSERT_EQ(Send(7, 1), EFI_SUCCESS);
  EXPECT_EQ(ipmi->CompletionCode, 0xCB);
}

TEST_F(BmcModelTest, ShortResponseBufferIsRefusedWithTheSizeNeeded) {
  bmc->SetFru(1, CountingImage());
  uint8_t request[2] = {1, 1};
  uint8_t small[16] = {};
  UINT32 size = sizeof(small);
  EXPECT_EQ(ipmi->SendIpmiCommand(ipmi, 0x30, 0, 0xA1, request, 2, small, &size), EFI_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, 32u);
}

TEST_F(BmcModelTest, MalformedRequestsGetTheirCompletionCodeAndAreReported) {
  bmc->SetFru(1, CountingImage());
  ASSERT_EQ(Send(1, 1, 0x06, 0x01), EFI_SUCCESS);
  EXPECT_EQ(ipmi->CompletionCode, 0xC1);
  ExpectViolation("unexpected command");
  ASSERT_EQ(Send(1, 1, 0x30, 0xA1, 1), EFI_SUCCESS);
  EXPECT_EQ(ipmi->CompletionCode, 0xC7);
  ExpectViolation("request of 1 bytes");
  ASSERT_EQ(Send(1, 5), EFI_SUCCESS);
  EXPECT_EQ(ipmi->CompletionCode, 0xC9);
  ExpectViolation("chunk 5");
}

TEST_F(BmcModelTest, UnconsumedScriptIsReportedAtTheEndOfTheRun) {
  bmc->SetFru(1, CountingImage());
  bmc->Script(1, 3, {BmcAction{BmcActionKind::Busy, 4}});
  ASSERT_EQ(Send(1, 3), EFI_SUCCESS);
  platform.FinishRun();
  ExpectViolation("supply 1 chunk 3 step 1 (busy): 3 of 4 sends never came");
}

}  // namespace
