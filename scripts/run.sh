#!/usr/bin/env bash
# The README's run command: installs what is missing, builds boardsim (preset host64) and runs the SMBIOS
# driver on the built-in default board. The build's output goes to build/run-build.log and is shown only when
# the build fails; the arguments are passed on to `boardsim smbios`.
set -euo pipefail
cd "$(dirname "$0")/.."
log=build/run-build.log
mkdir -p build
if ! { scripts/install-deps.sh && cmake --preset host64 && cmake --build --preset host64 --target boardsim; } > "$log" 2>&1; then
  cat "$log" >&2
  echo "run.sh: the build failed (log above, also in $log)" >&2
  exit 1
fi
exec build/host64/tools/boardsim/boardsim smbios "$@"
