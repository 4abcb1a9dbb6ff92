#!/usr/bin/env bash
# Installs what is missing, builds both halves and runs every test of both.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
status=0
echo "== 64-bit half =="
(cd build/host64 && ctest --output-on-failure -j"$(nproc)") || status=1
echo "== 32-bit half =="
(cd build/pei32 && ctest --output-on-failure -j"$(nproc)") || status=1
exit $status
