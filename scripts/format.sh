#!/usr/bin/env bash
# Formats every project source and header in place with clang-format (the .clang-format of each room).
# Run it before committing; the format check (CTest test format_check in build/host64) fails on any file
# it would change.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/project-sources.sh | xargs -d '\n' -n 40 -P "${JOBS:-$(nproc)}" clang-format -i --style=file
