// Booting a faulted board and judging the end of the run.
#include "tests/smbios/entry/fault_sweep.h"

#include <cstdio>
#include <map>
#include <set>

#include "sim/dxe/smbios_record_check.h"

namespace fault_sweep {

namespace {

// The handles a type 40 record's entries refer to (offset 4: entry count; each entry: length, handle, ...).
std::vector<uint16_t> ReferencedHandles(const std::vector<uint8_t>& record, std::string* problem) {
  std::vector<uint16_t> handles;
  const size_t length = record.size() > 1 ? record[1] : 0;
  if (length < 5) {
    *problem = "type 40 shorter than its entry count";
    return handles;
  }
  size_t at = 5;
  for (unsigned i = 0; i < record[4]; ++i) {
    if (at + 4 > length || record[at] < 5 || at + record[at] > length) {
      *problem = "type 40 entry " + std::to_string(i) + " runs past the formatted area";
      return handles;
    }
    handles.push_back(static_cast<uint16_t>(record[at + 1] | record[at + 2] << 8));
    at += record[at];
  }
  return handles;
}

struct PointCounts {
  std::map<std::string, size_t> points;
  ~PointCounts() {
    for (const auto& [sweep, n] : points) std::printf("[fault sweep] %s: %zu points\n", sweep.c_str(), n);
  }
};
PointCounts counts;

}  // namespace

::testing::AssertionResult EndedCleanly(const sim::BootedBoard& run, const std::string& what,
                                        const std::vector<std::string>& implied) {
  std::string problems;
  const sim::RunSummary& s = run.result.summary;
  for (const sim::PoolLeak& leak : s.leaks) problems += "  leak of " + std::to_string(leak.size) + " bytes\n";
  for (const std::string& refusal : s.refused_adds) problems += "  refused Add: " + refusal + "\n";

  std::set<uint16_t> handles;
  for (const sim::SmbiosRecordView& r : run.platform->Smbios().Records()) handles.insert(r.handle);
  for (const sim::SmbiosRecordView& r : run.platform->Smbios().Records()) {
    const std::string where = "  record " + std::to_string(r.handle) + " (type " + std::to_string(r.type) + "): ";
    sim::SmbiosRecordCheck check = sim::CheckSmbiosRecord(r.bytes.data(), r.bytes.size());
    if (!check.ok) problems += where + check.problem + "\n";
    if (r.type != 40) continue;
    std::string problem;
    for (uint16_t h : ReferencedHandles(r.bytes, &problem)) {
      if (!handles.count(h)) problems += where + "refers to handle " + std::to_string(h) + ", not in the table\n";
    }
    if (!problem.empty()) problems += where + problem + "\n";
  }

  for (const std::string& v : s.violations) {
    bool expected = false;
    for (const std::string& allowed : implied) expected |= v.find(allowed) != std::string::npos;
    if (!expected) problems += "  violation: " + v + "\n";
  }
  if (problems.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << what << ":\n" << problems;
}

std::vector<std::vector<uint8_t>> TableBytes(const sim::BootedBoard& run) {
  std::vector<std::vector<uint8_t>> out;
  for (const sim::SmbiosRecordView& r : run.platform->Smbios().Records()) out.push_back(r.bytes);
  return out;
}

std::vector<std::vector<uint8_t>> RecordsOfType(const sim::BootedBoard& run, uint8_t type) {
  std::vector<std::vector<uint8_t>> out;
  for (const sim::SmbiosRecordView& r : run.platform->Smbios().Records()) {
    if (r.type == type) out.push_back(r.bytes);
  }
  return out;
}

std::vector<std::vector<uint8_t>> RecordsOfTypeWithoutHandles(const sim::BootedBoard& run, uint8_t type) {
  std::vector<std::vector<uint8_t>> out = RecordsOfType(run, type);
  for (std::vector<uint8_t>& r : out) {
    r[2] = r[3] = 0;
    if (type != 40) continue;
    size_t at = 5;
    for (unsigned i = 0; i < r[4] && at + 3 <= r[1] && r[at] >= 5; ++i, at += r[at]) r[at + 1] = r[at + 2] = 0;
  }
  return out;
}

void CountPoints(const std::string& sweep, size_t points) { counts.points[sweep] += points; }

}  // namespace fault_sweep
