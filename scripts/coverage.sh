#!/usr/bin/env bash
# Line and branch coverage of the module code (smbios/, trace/, regaccess/) by both halves' tests: builds the
# coverage trees (presets coverage64 and coverage32: the module code compiled with gcc --coverage at -O0),
# runs every test program of both, and prints each module file's line and branch coverage (Debian's gcovr).
#   scripts/coverage.sh [--summary-only]    JOBS=N sets the build and test jobs (default 2)
# Exception edges are left out: the module code is built without exceptions, and only the tests' copies of its
# inline functions (built with them) have such edges. Also writes build/coverage.json (gcovr's JSON summary), build/coverage-details.json (gcovr's JSON, per line and
# branch) and build/coverage-untaken.txt: every branch not taken (file, line, which branch of the line, the
# line's text), which the full output also prints. Exit status 1 when a build or a test failed.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
summary_only=0
[[ ${1:-} == --summary-only ]] && summary_only=1
command -v gcovr > /dev/null || {
  echo "coverage.sh: gcovr is not installed (install the Debian package gcovr: scripts/install-deps.sh does)" >&2
  exit 1
}
mkdir -p build
status=0
for preset in coverage64 coverage32; do
  echo "== coverage: $preset =="
  cmake --preset "$preset" > "build/configure-$preset.log" 2>&1 || { cat "build/configure-$preset.log"; exit 1; }
  cmake --build --preset "$preset" -j"$jobs"
  # Counts of an earlier run would add to this one's.
  find "build/$preset" -name '*.gcda' -delete
  # The GoogleTest programs only: the tree checks (format, layers, test tree) and memcheck measure nothing here.
  ctest --preset "$preset" -j"$jobs" -LE memcheck -E '^(format_check|module_layers|test_tree|lint_check)' \
    > "build/$preset-ctest.log" 2>&1 || { status=1; tail -n 30 "build/$preset-ctest.log"; }
  tail -n 3 "build/$preset-ctest.log"
done

filters=(--filter 'smbios/' --filter 'trace/' --filter 'regaccess/')
gcovr --root . "${filters[@]}" --exclude-unreachable-branches --exclude-throw-branches --json-summary build/coverage.json \
  --json-summary-pretty --json build/coverage-details.json build/coverage64 build/coverage32 > /dev/null
python3 - "$summary_only" << 'EOF'
import json, sys
summary_only = sys.argv[1] == "1"
data = json.load(open("build/coverage.json"))
rows = sorted(data["files"], key=lambda f: f["filename"])
def pct(covered, total):
    return f"{100.0 * covered / total:6.1f}%" if total else "     -"
print(f"{'file':<48} {'lines':>11} {'':>7} {'branches':>11} {'':>7}")
for f in rows:
    full = f["line_covered"] == f["line_total"] and f["branch_covered"] == f["branch_total"]
    if summary_only and full:
        continue
    print(f"{f['filename']:<48} {f['line_covered']:>5}/{f['line_total']:<5} {pct(f['line_covered'], f['line_total'])}"
          f" {f['branch_covered']:>5}/{f['branch_total']:<5} {pct(f['branch_covered'], f['branch_total'])}")
print(f"{'all module code':<48} {data['line_covered']:>5}/{data['line_total']:<5} "
      f"{pct(data['line_covered'], data['line_total'])} {data['branch_covered']:>5}/{data['branch_total']:<5} "
      f"{pct(data['branch_covered'], data['branch_total'])}")

# Every branch not taken, from the per-line JSON: gcc numbers a line's branches in the order of its conditional
# jumps; "fallthrough" marks the branch that falls through to the next block.
details = json.load(open("build/coverage-details.json"))
untaken = []
for f in sorted(details["files"], key=lambda f: f["file"]):
    try:
        source = open(f["file"]).read().splitlines()
    except OSError:
        source = []
    for line in f["lines"]:
        if line.get("gcovr/noncode"):
            continue
        branches = line.get("branches", [])
        for number, branch in enumerate(branches):
            if branch["count"] == 0:
                kind = "fallthrough" if branch.get("fallthrough") else "throw" if branch.get("throw") else "jump"
                text = source[line["line_number"] - 1].strip() if line["line_number"] <= len(source) else ""
                line_run = "line run" if line["count"] else "line not run"
                untaken.append(f"{f['file']}:{line['line_number']}: branch {number} of {len(branches)} ({kind}, "
                               f"{line_run}): {text}")
with open("build/coverage-untaken.txt", "w") as out:
    out.write("".join(u + "\n" for u in untaken))
if summary_only:
    print(f"{len(untaken)} branches not taken: build/coverage-untaken.txt lists them")
else:
    print(f"\n{len(untaken)} branches not taken (also in build/coverage-untaken.txt):")
    for u in untaken:
        print(u)
EOF
exit $status
