#!/usr/bin/env bash
# Configures and builds both halves from their presets (CMakePresets.json): build/host64 (DXE driver,
# simulator, tools, tests, images) and build/pei32 (PEI module code and its tests, 32-bit).
#   scripts/build.sh [PRESET...]     default: host64 pei32 (in that order: pei32's image tests read host64's images)
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build
presets=("$@")
((${#presets[@]})) || presets=(host64 pei32)
for preset in "${presets[@]}"; do
  echo "== build $preset =="
  # Configure quietly, but say how the tree starts its 32-bit programs (natively or through qemu-i386).
  cmake --preset "$preset" > "build/configure-$preset.log" 2>&1 || { cat "build/configure-$preset.log"; exit 1; }
  grep -h '^-- 32-bit programs' "build/configure-$preset.log" || true
  cmake --build --preset "$preset"
done
