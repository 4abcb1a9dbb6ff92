// A trace platform with the module's entry point run, and the messages channel 32/14 received.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/pei/trace_platform.h"
#include "trace/listener/peim_entry.h"
#include "uefi/status.h"

namespace listenertest {

// Status codes of the PI classes, as reported by platform code.
constexpr uint32_t kProgress = 0x00000001;
constexpr uint32_t kError = 0x80000002;        // major error
constexpr uint32_t kAssertType = 0x90000002;   // unrecovered error
constexpr uint32_t kAssertValue = 0x00010007;  // operation 7 in the low 16 bits
constexpr uint32_t kDebug = 0x00000003;

inline constexpr EFI_GUID kCallerGuid = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

class ListenerTest : public ::testing::Test {
 protected:
  explicit ListenerTest(sim::TracePlatformConfig config = {}) : platform(config) {}

  void SetUp() override {
    ASSERT_EQ(TraceStatusPeimEntry(nullptr, nullptr), EFI_SUCCESS);
    ASSERT_EQ(platform.handler().listeners().size(), 1u);
  }

  void TearDown() override { EXPECT_TRUE(platform.violations().Empty()) << platform.violations().Joined(); }

  // Reports one code; the listener must return success.
  void Report(uint32_t type, uint32_t value, uint32_t instance = 0, const EFI_GUID* caller = nullptr,
              const void* data = nullptr) {
    auto statuses = platform.Report(type, value, instance, caller, data);
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0], EFI_SUCCESS);
  }

  std::vector<sim::SystDecodedMessage> Messages() {
    auto messages = sim::DecodeSystMessages(platform.hub().ChannelWrites(32, 14));
    for (const auto& m : messages) {
      for (const auto& e : m.errors) ADD_FAILURE() << "malformed message: " << e;
    }
    return messages;
  }

  // The one message the last report sent (fails unless exactly one was sent since the last call).
  sim::SystDecodedMessage Only() {
    auto messages = Messages();
    platform.hub().ClearWrites();
    if (messages.size() != 1) {
      ADD_FAILURE() << messages.size() << " messages instead of one";
      return {};
    }
    return messages[0];
  }

  sim::TracePlatform platform;
};

}  // namespace listenertest
