// The volume reader's time against the number of files: volumes of N header-only files (24 bytes each, 87,000
// of them about 2 MiB), all names distinct and with the last name repeating the first, so the duplicate check
// runs over every file. The time per file stays flat as N grows (a name lookup per file, not a scan).
//   build/perf/bench/volume_reader_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "firmware/fv/volume_reader.h"
#include "tests/firmware/fv/volume_test_files.h"

namespace {

void ReadManySmallFiles(benchmark::State& state) {
  const uint32_t count = static_cast<uint32_t>(state.range(0));
  const bool repeated = state.range(1) != 0;
  const std::vector<uint8_t> volume = fvtest::ManySmallFilesVolume(count, repeated);
  if (fv::ReadVolume(volume).volume.has_value() == repeated) {
    state.SkipWithError("the reader's verdict is not the volume's");
    return;
  }
  for (auto _ : state) {
    fv::VolumeReadResult r = fv::ReadVolume(volume);
    benchmark::DoNotOptimize(r);
  }
  state.counters["bytes"] = static_cast<double>(volume.size());
  state.counters["per_file"] = benchmark::Counter(
      static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(ReadManySmallFiles)
    ->ArgsProduct({{1000, 10000, 87000}, {0, 1}})
    ->ArgNames({"files", "repeated"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
