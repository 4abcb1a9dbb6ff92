// GoogleTest helpers: platform violations as failures, expected violations, byte comparison.
#include "tests/support/platform_checks.h"

#include <algorithm>
#include <cstdio>

namespace sim_test {

namespace {

std::string Listed(const std::vector<std::string>& messages) {
  if (messages.empty()) return "  (none)\n";
  std::string out;
  for (const auto& m : messages) out += "  " + m + "\n";
  return out;
}

}  // namespace

::testing::AssertionResult NoViolations(const sim::Violations& violations) {
  if (violations.Empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the simulator reported " << violations.Messages().size()
                                       << " violation(s):\n"
                                       << Listed(violations.Messages());
}

::testing::AssertionResult TakeViolation(sim::Violations& violations, const std::string& substring, size_t* removed) {
  std::vector<std::string> all = violations.Take();
  std::vector<std::string> kept;
  size_t matched = 0;
  for (auto& m : all) {
    if (m.find(substring) != std::string::npos) {
      ++matched;
    } else {
      kept.push_back(std::move(m));
    }
  }
  for (auto& m : kept) violations.Report(std::move(m));
  if (removed != nullptr) *removed = matched;
  if (matched > 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "expected a violation containing \"" << substring
                                       << "\"; the simulator reported:\n"
                                       << Listed(violations.Messages());
}

std::string HexDump(const void* bytes, size_t size) {
  std::string out;
  const auto* p = static_cast<const uint8_t*>(bytes);
  for (size_t i = 0; i < size; ++i) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", p[i]);
    if (i) out += ' ';
    out += buf;
  }
  return out;
}

::testing::AssertionResult BytesEqual(const void* actual, size_t actual_size, const void* expected,
                                      size_t expected_size) {
  const auto* a = static_cast<const uint8_t*>(actual);
  const auto* e = static_cast<const uint8_t*>(expected);
  const size_t common = std::min(actual_size, expected_size);
  for (size_t i = 0; i < common; ++i) {
    if (a[i] != e[i]) {
      char buf[160];
      std::snprintf(buf, sizeof buf, "first difference at offset %zu (0x%zX): actual 0x%02X, expected 0x%02X", i, i,
                    a[i], e[i]);
      return ::testing::AssertionFailure() << buf << " (sizes " << actual_size << " and " << expected_size << ")";
    }
  }
  if (actual_size != expected_size) {
    return ::testing::AssertionFailure() << "sizes differ: actual " << actual_size << " bytes, expected "
                                         << expected_size << " bytes (equal over the first " << common << ")";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult BytesEqual(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected) {
  return BytesEqual(actual.data(), actual.size(), expected.data(), expected.size());
}

void PlatformTest::TearDown() {
  platform.FinishRun();
  EXPECT_TRUE(NoViolations(platform.Violations()));
}

void PlatformTest::ExpectViolation(const std::string& substring) {
  EXPECT_TRUE(TakeViolation(platform.Violations(), substring));
}

}  // namespace sim_test
