// One status code through the whole PEI path on the simulated platform: listener, formatter, SyS-T
// encoder, trace-hub transport, register access and PCD look-ups. For each code it counts the hardware
// reads and writes, the PPI look-ups and the presence checks, and fails when a message costs more checks
// than one per channel write plus the presence test. Under callgrind (run with the options that
// scripts/perf-report.sh passes, in a writable directory) it also prints the module's instructions per
// status code; the simulator's own work is left out by the toggles at the hardware and PPI entries.
#include <valgrind/callgrind.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench/callgrind_dump.h"
#include "bench/pei/status_code_cases.h"
#include "sim/pei/trace_platform.h"
#include "trace/listener/peim_entry.h"
#include "uefi/protocols/pcd_ppi.h"
#include "uefi/status.h"

namespace {

constexpr int kRepeats = 5;         // counted runs per code (the counts must not vary)
constexpr int kTimedRepeats = 101;  // timed runs per code, for the median
constexpr int kInstructionRepeats = 100;
constexpr uint64_t kReadsPerCheck = 4;    // PMC vendor ID and base, disable byte, probe word
constexpr uint64_t kLookupsPerCheck = 1;  // the PCD PPI, for the platform's MCFG table

struct Costs {
  uint64_t hub_writes = 0;
  uint64_t checks = 0;  // probe-word reads: one per resolved channel address
  uint64_t mmio_reads = 0;
  uint64_t mmio_writes = 0;
  uint64_t ppi_lookups = 0;
  uint64_t pcd_lookups = 0;
  size_t line = 0;
  bool operator==(const Costs&) const = default;
};

// The platform has one MCFG entry for segment 0, as a real platform publishes it.
sim::TracePlatformConfig PlatformConfig() {
  sim::TracePlatformConfig config;
  config.pei.mcfg_table.entries = {{0x80000000u, 0, 0, 255}};
  return config;
}

Costs Run(sim::TracePlatform& platform, const bench::StatusCodeCase& c) {
  platform.hub().ClearWrites();
  sim::PeiPlatform& pei = platform.pei();
  uint64_t reads = pei.bus().ReadCount(), writes = pei.bus().WriteCount();
  uint64_t probes = platform.hub().ProbeReads(), lookups = pei.ppis().LocateCalls();
  uint64_t pcd = pei.ppis().LocateCalls(gPcdPpiGuid);
  platform.Report(c.type, c.value, c.instance, c.caller, c.data);
  Costs k;
  k.hub_writes = platform.hub().Writes().size();
  k.checks = platform.hub().ProbeReads() - probes;
  k.mmio_reads = pei.bus().ReadCount() - reads;
  k.mmio_writes = pei.bus().WriteCount() - writes;
  k.ppi_lookups = pei.ppis().LocateCalls() - lookups;
  k.pcd_lookups = pei.ppis().LocateCalls(gPcdPpiGuid) - pcd;
  auto messages = sim::DecodeSystMessages(platform.hub().ChannelWrites(32, 14));
  k.line = messages.size() == 1 && messages[0].errors.empty() ? messages[0].Text().size() : SIZE_MAX;
  return k;
}

// What the design allows: one check per channel write plus the presence test, each check four reads and
// one PCD look-up, and no write but the channel's.
bool WithinDesign(const Costs& k) {
  return k.checks == k.hub_writes + 1 && k.mmio_reads == kReadsPerCheck * k.checks &&
         k.ppi_lookups == kLookupsPerCheck * k.checks && k.pcd_lookups == k.ppi_lookups &&
         k.mmio_writes == k.hub_writes;
}

double MedianNanoseconds(sim::TracePlatform& platform, const bench::StatusCodeCase& c) {
  std::vector<double> times;
  for (int i = 0; i < kTimedRepeats; ++i) {
    platform.hub().ClearWrites();
    auto start = std::chrono::steady_clock::now();
    platform.Report(c.type, c.value, c.instance, c.caller, c.data);
    times.push_back(std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count());
  }
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}

int CountInstructions(sim::TracePlatform& platform, const std::vector<bench::StatusCodeCase>& cases) {
  printf("Module instructions per status code (callgrind, %d repeats, simulator excluded):\n", kInstructionRepeats);
  int part = 0;
  for (const auto& c : cases) {
    CALLGRIND_ZERO_STATS;
    for (int i = 0; i < kInstructionRepeats; ++i) {
      platform.hub().ClearWrites();
      platform.Report(c.type, c.value, c.instance, c.caller, c.data);
    }
    CALLGRIND_DUMP_STATS_AT(c.name);
    unsigned long long total = bench::CallgrindDumpTotal(++part);
    if (total == 0) {
      printf("  no callgrind dump found: run in a writable directory without --callgrind-out-file\n");
      return 1;
    }
    printf("  %-10s %8llu\n", c.name, total / kInstructionRepeats);
  }
  return 0;
}

}  // namespace

int main() {
  sim::TracePlatform platform(PlatformConfig());
  if (TraceStatusPeimEntry(nullptr, nullptr) != EFI_SUCCESS || platform.handler().listeners().size() != 1) {
    fprintf(stderr, "the module did not register its listener\n");
    return 1;
  }
  auto cases = bench::MakeStatusCodeCases(platform.records());
  if (RUNNING_ON_VALGRIND) return CountInstructions(platform, cases);

  printf("%-10s %6s %7s %7s %11s %12s %13s %16s\n", "code", "chars", "writes", "checks", "MMIO reads", "MMIO writes",
         "PPI look-ups", "host ns median");
  int status = 0;
  for (const auto& c : cases) {
    std::vector<Costs> runs;
    for (int i = 0; i < kRepeats; ++i) runs.push_back(Run(platform, c));
    const Costs& k = runs[kRepeats / 2];
    bool stable = std::all_of(runs.begin(), runs.end(), [&](const Costs& r) { return r == k; });
    printf("%-10s %6zu %7llu %7llu %11llu %12llu %13llu %16.0f\n", c.name, k.line,
           static_cast<unsigned long long>(k.hub_writes), static_cast<unsigned long long>(k.checks),
           static_cast<unsigned long long>(k.mmio_reads), static_cast<unsigned long long>(k.mmio_writes),
           static_cast<unsigned long long>(k.ppi_lookups), MedianNanoseconds(platform, c));
    if (!stable) {
      printf("  %s: the counts differ between runs\n", c.name);
      status = 1;
    }
    if (!WithinDesign(k)) {
      printf("  %s: more accesses than one check per write plus the presence test (%llu checks for %llu writes)\n",
             c.name, static_cast<unsigned long long>(k.checks), static_cast<unsigned long long>(k.hub_writes));
      status = 1;
    }
    if (k.line == SIZE_MAX || (c.line_length && k.line != *c.line_length)) {
      printf("  %s: the channel did not carry one well-formed line of the expected length\n", c.name);
      status = 1;
    }
  }
  if (!platform.violations().Empty()) {
    printf("simulator violations: %s\n", platform.violations().Joined().c_str());
    status = 1;
  }
  printf("Design: checks = writes + 1; each check %llu MMIO reads and %llu PCD PPI look-up.\n",
         static_cast<unsigned long long>(kReadsPerCheck), static_cast<unsigned long long>(kLookupsPerCheck));
  return status;
}
