// GoogleTest helpers for simulator-backed tests: platform violations become test failures with their
// messages, expected violations are taken out by substring, byte buffers compare with the first difference.
#pragma once
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/common/violations.h"
#include "sim/dxe/dxe_platform.h"

namespace sim_test {

// Success when no violation is recorded; else a failure listing every message.
::testing::AssertionResult NoViolations(const sim::Violations& violations);

// Removes the recorded violations whose message contains `substring`; a failure when there is none
// (the message lists what was recorded). Returns the number removed through `removed` when given.
::testing::AssertionResult TakeViolation(sim::Violations& violations, const std::string& substring,
                                         size_t* removed = nullptr);

// Byte-for-byte comparison; on a difference the failure names the first differing offset with both values,
// or the size difference.
::testing::AssertionResult BytesEqual(const void* actual, size_t actual_size, const void* expected,
                                      size_t expected_size);
::testing::AssertionResult BytesEqual(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected);

// "0A 1B ..." for messages.
std::string HexDump(const void* bytes, size_t size);

// A test with a fresh platform. TearDown finishes the run (leak report and end-of-run checks) and fails the
// test on every violation not taken by ExpectViolation.
class PlatformTest : public ::testing::Test {
 protected:
  void TearDown() override;
  // Takes the violations containing `substring`; fails the test when none was reported.
  void ExpectViolation(const std::string& substring);

  sim::DxePlatform platform;
};

}  // namespace sim_test
