#!/usr/bin/env bash
# Installs what is missing, builds both halves and runs every test of both; then the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, and every fuzz harness briefly (10 s each).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
status=0
echo "== 64-bit half =="
(cd build/host64 && ctest --output-on-failure -j"$(nproc)") || status=1
echo "== 32-bit half =="
(cd build/pei32 && ctest --output-on-failure -j"$(nproc)") || status=1
echo "== sanitizers (ASan+UBSan, both halves) =="
JOBS="$(nproc)" scripts/sanitize.sh || status=1
echo "== fuzzing, 10 s per harness =="
scripts/fuzz.sh 10 || status=1
exit $status
