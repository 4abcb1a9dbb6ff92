#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer (any finding stops the test) and
# runs them: presets asan64 (64-bit half, build/asan64) and asan32 (32-bit half, build/asan32). Firmware
# images and benchmarks are left out: they are not tests and the sanitizers do not apply to them. build/asan64
# also runs the lint check (CTest lint_check: clang-tidy over its compile database, docs/code_checks.md).
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
jobs=${JOBS:-$(nproc)}
status=0
for preset in asan64 asan32; do
  echo "== sanitizers: $preset =="
  if scripts/build.sh "$preset"; then
    ctest --preset "$preset" -j"$jobs" || status=1
  else
    status=1
  fi
done
exit $status
