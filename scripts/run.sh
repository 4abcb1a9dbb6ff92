#!/usr/bin/env bash
# The README's run command: installs what is missing, builds boardsim alone (preset run: optimized without
# debug information, so the first answer comes soon on a cold compiler cache) and runs the SMBIOS driver on
# the built-in default board. The build's output goes to build/run-build.log and is shown only when
# the build fails; the arguments are passed on to `boardsim smbios`.
set -euo pipefail
cd "$(dirname "$0")/.."
log=build/run-build.log
mkdir -p build
if ! { scripts/install-deps.sh && cmake --preset run && cmake --build --preset run --target boardsim; } > "$log" 2>&1; then
  cat "$log" >&2
  echo "run.sh: the build failed (log above, also in $log)" >&2
  exit 1
fi
exec build/run/tools/boardsim/boardsim smbios "$@"
