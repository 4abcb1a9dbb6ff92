#!/usr/bin/env bash
# Prints the project's C++ sources and headers (the files scripts/format.sh formats and the format check
# reads), one per line relative to the source directory: git's tracked files where the tree is a git
# checkout, else every .h/.cpp under the project's rooms.
set -euo pipefail
cd "$(dirname "$0")/.."
rooms=(uefi hw smbios trace regaccess sim tools firmware tests bench fuzz)
if git rev-parse --is-inside-work-tree > /dev/null 2>&1; then
  git ls-files -- "${rooms[@]/%//*.h}" "${rooms[@]/%//*.cpp}"
else
  find "${rooms[@]}" -type f \( -name '*.h' -o -name '*.cpp' \) | sort
fi
