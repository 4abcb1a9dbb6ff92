#include "sim/board/table_difference.h"

namespace sim {

std::string FirstTableDifference(const std::vector<SmbiosRecordView>& expected,
                                 const std::vector<SmbiosRecordView>& actual) {
  size_t offset = 0;
  for (size_t i = 0; i < expected.size() && i < actual.size(); ++i) {
    const auto& a = expected[i].bytes;
    const auto& b = actual[i].bytes;
    const std::string record = "record " + std::to_string(i) + " (type " + std::to_string(expected[i].type) + ")";
    for (size_t k = 0; k < a.size() && k < b.size(); ++k) {
      if (a[k] != b[k]) {
        return record + " byte " + std::to_string(k) + ", table offset " + std::to_string(offset + k) + ": " +
               std::to_string(a[k]) + " expected, " + std::to_string(b[k]) + " found";
      }
    }
    if (a.size() != b.size()) {
      return record + " is " + std::to_string(b.size()) + " bytes, " + std::to_string(a.size()) +
             " expected (table offset " + std::to_string(offset) + ")";
    }
    if (expected[i].handle != actual[i].handle) {
      return record + " has handle " + std::to_string(actual[i].handle) + ", " + std::to_string(expected[i].handle) +
             " expected";
    }
    offset += a.size();
  }
  if (expected.size() != actual.size()) {
    return std::to_string(actual.size()) + " records, " + std::to_string(expected.size()) + " expected";
  }
  return {};
}

}  // namespace sim
