#!/usr/bin/env bash
# Fails when clang-format would change a project source or header (scripts/format.sh fixes them), naming
# each place. --probe FILE checks a copy of FILE with a badly laid out line appended, under FILE's style,
# instead: it must fail, which shows the check still finds something.
#   scripts/check-format.sh [--probe FILE]
set -euo pipefail
cd "$(dirname "$0")/.."
formatter=${CLANG_FORMAT:-clang-format}
if [ "${1:-}" = "--probe" ]; then
  file=${2:?--probe needs a file}
  { cat "$file"; echo 'int   Misplaced ( int  x ){return x;}'; } |
    "$formatter" --dry-run --Werror --style=file --assume-filename="$file"
  exit
fi
start=$SECONDS
count=$(scripts/project-sources.sh | wc -l)
if scripts/project-sources.sh | xargs -d '\n' -n 40 -P "${JOBS:-$(nproc)}" "$formatter" --dry-run --Werror --style=file; then
  echo "check-format: $count files formatted ($((SECONDS - start)) s)"
else
  echo "check-format: files above need scripts/format.sh ($count files checked)"
  exit 1
fi
