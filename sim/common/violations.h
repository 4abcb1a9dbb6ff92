// Collects misuse the simulator detects (leaks, stray accesses, malformed records) so tests can fail on it.
#pragma once
#include <string>
#include <vector>

namespace sim {

class Violations {
 public:
  void Report(std::string message) { messages_.push_back(std::move(message)); }
  const std::vector<std::string>& Messages() const { return messages_; }
  bool Empty() const { return messages_.empty(); }
  // Returns the collected messages and forgets them (for tests that expect a violation).
  std::vector<std::string> Take() {
    std::vector<std::string> out;
    out.swap(messages_);
    return out;
  }
  // All messages, one per line, for a failure report.
  std::string Joined() const {
    std::string out;
    for (const auto& m : messages_) out += m + "\n";
    return out;
  }

 private:
  std::vector<std::string> messages_;
};

}  // namespace sim
