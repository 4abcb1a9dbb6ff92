// The summary printed after a run and the reasons a run counts as failed.
#include "tools/boardsim/run_report.h"

#include <cstdio>

#include "tools/boardsim/status_text.h"

namespace boardsim {

namespace {

std::string Microseconds(uint64_t us) {
  char text[64];
  std::snprintf(text, sizeof text, "%llu us (%.3f s)", static_cast<unsigned long long>(us), us / 1e6);
  return text;
}

size_t LeakedBytes(const sim::RunSummary& s) {
  size_t bytes = 0;
  for (const auto& leak : s.leaks) bytes += leak.size;
  return bytes;
}

// A violation that one of the dedicated counts (leaks, refusals) already covers.
bool CoveredElsewhere(const sim::RunSummary& s, const std::string& violation) {
  for (const auto& refusal : s.refused_adds)
    if (violation.find(refusal) != std::string::npos || refusal.find(violation) != std::string::npos) return true;
  return !s.leaks.empty() && violation.find("leak") != std::string::npos;
}

}  // namespace

void PrintSummary(std::ostream& out, const sim::BootResult& result) {
  const sim::RunSummary& s = result.summary;
  out << "Summary\n";
  out << "  Entry point: " << StatusText(result.entry_status) << "\n";
  out << "  Publishing callback: "
      << (result.callback_ran ? StatusText(result.callback_status) : std::string("not called")) << "\n";
  out << "  Records: " << s.record_count << "\n";
  for (const auto& [type, count] : s.records_by_type) out << "    type " << int(type) << ": " << count << "\n";
  out << "  Pool: " << s.pool.allocations << " allocations (" << s.pool.failed << " failed), " << s.pool.frees
      << " frees, peak " << s.pool.peak_bytes << " bytes in " << s.pool.peak_buffers << " buffers\n";
  if (s.leaks.empty()) {
    out << "  Pool leaks: none\n";
  } else {
    out << "  Pool leaks: " << s.leaks.size() << " buffers, " << LeakedBytes(s) << " bytes\n";
    for (const auto& leak : s.leaks)
      out << "    allocation " << leak.number << ": " << leak.size << " bytes, pool type " << int(leak.type) << "\n";
  }
  if (s.refused_adds.empty()) {
    out << "  Refused Adds: none\n";
  } else {
    out << "  Refused Adds: " << s.refused_adds.size() << "\n";
    for (const auto& refusal : s.refused_adds) out << "    " << refusal << "\n";
  }
  out << "  Virtual time: " << Microseconds(s.virtual_time_us) << "\n";
  if (!s.violations.empty()) {
    out << "  Violations: " << s.violations.size() << "\n";
    for (const auto& v : s.violations) out << "    " << v << "\n";
  }
}

std::vector<std::string> RunFailures(const sim::RunSummary& s) {
  std::vector<std::string> reasons;
  if (!s.leaks.empty()) {
    reasons.push_back("the driver leaked " + std::to_string(s.leaks.size()) + " pool buffer(s), " +
                      std::to_string(LeakedBytes(s)) + " bytes");
  }
  if (!s.refused_adds.empty()) {
    reasons.push_back("the simulator refused " + std::to_string(s.refused_adds.size()) +
                      " SMBIOS record Add(s): " + s.refused_adds.front());
  }
  if (!s.refused_registrations.empty()) {
    reasons.push_back("the registry refused a callback registration: " + s.refused_registrations.front());
  }
  size_t others = 0;
  std::string first;
  for (const auto& v : s.violations) {
    if (CoveredElsewhere(s, v)) continue;
    if (others++ == 0) first = v;
  }
  if (others) reasons.push_back("the simulator reported " + std::to_string(others) + " violation(s): " + first);
  return reasons;
}

}  // namespace boardsim
