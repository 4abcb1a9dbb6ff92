#!/usr/bin/env bash
# The README's test command: installs what is missing, configures and builds both halves and the firmware
# images, and runs every test of both halves (CTest, presets host64 and pei32). Exit status 0 only when
# both builds succeed and every test passes. .ci/run then adds the sanitizer trees and short fuzz runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
start=$SECONDS  # what follows is the time a developer waits once the packages are there
mkdir -p build
scripts/build.sh host64 pei32
built=$SECONDS
jobs=$(nproc)
status=0
echo "== 64-bit half =="
ctest --preset host64 -j"$jobs" || status=1
echo "== 32-bit half =="
ctest --preset pei32 -j"$jobs" || status=1
timing="test.sh: build $((built - start)) s, tests $((SECONDS - built)) s, $((SECONDS - start)) s after the packages ($jobs cores)"
echo "== $timing =="
echo "$timing" > build/test-timing.txt
exit $status
