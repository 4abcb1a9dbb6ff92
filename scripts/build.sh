#!/usr/bin/env bash
# Configures and builds both halves: build/host64 (DXE driver, simulator, tools, tests, images)
# and build/pei32 (PEI module code and its tests, -m32).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
cmake -S . -B build/host64 -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/host64 -j"$jobs"
cmake -S . -B build/pei32 -DPEI32=ON -DCMAKE_C_FLAGS=-m32 -DCMAKE_CXX_FLAGS=-m32 -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/pei32 -j"$jobs"
