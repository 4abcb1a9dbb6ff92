// Counts of the platform services a module called, by service name ("AllocatePool", "Smbios.Add", ...).
#pragma once
#include <cstdint>
#include <map>
#include <string>

namespace sim {

class CallCounter {
 public:
  void Bump(const std::string& service) { ++counts_[service]; }
  uint64_t Get(const std::string& service) const {
    auto it = counts_.find(service);
    return it == counts_.end() ? 0 : it->second;
  }
  const std::map<std::string, uint64_t>& All() const { return counts_; }

 private:
  std::map<std::string, uint64_t> counts_;
};

}  // namespace sim
