#!/usr/bin/env bash
# Installs what is missing, builds the simulator and runs the SMBIOS driver on the built-in default board.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/host64 -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/host64 -j"$(nproc)" --target boardsim
exec build/host64/tools/boardsim/boardsim smbios "$@"
