#!/usr/bin/env bash
# Performance and footprint report: builds the measurement programs into build-perf, runs them and
# writes docs/performance.md with the figures of this run. Not part of CI.
# Measured: formatter vs snprintf instructions per line (callgrind) and Google Benchmark medians;
# image sizes per section at the size-optimised setting. Not yet measured: see "Not measured" below.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${PERF_BUILD_DIR:-build-perf}
jobs=${PERF_JOBS:-2}
doc=docs/performance.md

command -v valgrind >/dev/null || { echo "valgrind missing: run scripts/install-deps.sh" >&2; exit 1; }
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs" --target format_bench

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 1. Formatter vs snprintf: callgrind instruction counts (deterministic) and timed medians.
(cd "$work" && valgrind --tool=callgrind "$root/$build/bench/format_bench" 2>/dev/null) > "$work/callgrind.txt"
"$build/bench/format_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  > "$work/timed.txt" 2>/dev/null

# 4. Image sizes per section (needs clang and lld-link; reported as missing otherwise).
sizes="not built (PERF_SKIP_IMAGES set, or firmware_images failed (see $build/firmware_images.log)"
if [ -z "${PERF_SKIP_IMAGES:-}" ] && cmake --build "$build" -j"$jobs" --target firmware_images > "$build/firmware_images.log" 2>&1; then
  sizes=$(grep -v -e '^\[ *[0-9]*%\]' -e '^ninja\|^make' "$build/firmware_images.log" || true)
fi

{
  echo "# Performance and footprint"
  echo
  echo "Produced by \`scripts/perf-report.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC') ($(uname -m), $(g++ --version | head -1))."
  echo "Instruction counts come from callgrind and are deterministic; timed figures are medians of 5 repetitions."
  echo
  echo "## 1. Formatter against the C library's snprintf (target: at most half the instructions)"
  echo
  echo "Command: \`cd \$(mktemp -d) && valgrind --tool=callgrind $build/bench/format_bench\`"
  echo
  echo '```'
  cat "$work/callgrind.txt"
  echo '```'
  echo
  echo "Timed medians: \`$build/bench/format_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true\`"
  echo
  echo '```'
  grep -E 'median|formatter /|^  [a-z]+ ' "$work/timed.txt" || cat "$work/timed.txt"
  echo '```'
  echo
  echo "## 4. Image sizes per section (budgets: driver 24 KiB, PEI module 16 KiB)"
  echo
  echo "Command: \`cmake --build $build --target firmware_images\`"
  echo
  echo '```'
  echo "$sizes"
  echo '```'
  echo
  echo "## Not measured yet"
  echo
  echo "- 2. MMIO reads/writes, PPI look-ups and instructions of one status code through the PEI path."
  echo "- 3. The publishing callback on the default board and its growth with pre-existing records."
  echo "- 4. The PEI module's deepest stack use (painted stack, -fstack-usage cross-check)."
  echo
  echo "These need measurement programs that do not exist yet; no figures are given for them."
} > "$doc"
cat "$doc"
