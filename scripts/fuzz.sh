#!/usr/bin/env bash
# Builds the libFuzzer harnesses (fuzz/*_fuzz.cpp) with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# in build/fuzz (preset fuzz), then runs each for SECONDS (default 60), one after the other, starting from its
# seed corpus fuzz/corpus/<harness> (the seeds are copied: new inputs go to build/fuzz/corpus/<harness>). Prints the
# executions of each harness and its executions per second (libFuzzer's executed units over the run's wall time);
# a finding (crash, sanitizer report, broken invariant) is kept in
# build/fuzz/findings/<harness>/, its report and input (base64) are printed, and the script exits 1.
#   scripts/fuzz.sh [SECONDS] [HARNESS...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
jobs=${JOBS:-$(nproc)}
if (($#)); then
  harnesses=("$@")
else
  harnesses=()
  for f in fuzz/*_fuzz.cpp; do
    name=$(basename "$f" .cpp)
    harnesses+=("${name%_fuzz}")
  done
fi

# The fuzz preset: clang, libFuzzer coverage, AddressSanitizer and UndefinedBehaviorSanitizer.
mkdir -p build
cmake --preset fuzz > build/configure-fuzz.log 2>&1 || { cat build/configure-fuzz.log; exit 1; }
cmake --build --preset fuzz -j"$jobs" --target "${harnesses[@]/%/_fuzz}"

status=0
summary=()
for h in "${harnesses[@]}"; do
  corpus=build/fuzz/corpus/$h
  findings=build/fuzz/findings/$h
  mkdir -p "$corpus" "$findings"
  cp -n fuzz/corpus/"$h"/* "$corpus"/ 2>/dev/null || true
  log=build/fuzz/findings/$h.log
  echo "== $h: ${seconds}s =="
  started=$(date +%s.%N)
  if build/fuzz/fuzz/"$h"_fuzz -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/" \
       "$corpus" >"$log" 2>&1; then
    result=ok
  else
    result="FINDING (see $log and $findings/)"
    status=1
    # What was found and the input, so that a run elsewhere (CI) can be replayed from its output alone.
    grep -E 'invariant broken|runtime error|ERROR: (Address|Undefined|Leak|libFuzzer)|^SUMMARY|^Base64' "$log" |
      head -n 12 | sed "s/^/$h: /" || true
  fi
  elapsed=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(if [[ -n "$runs" ]]; then awk -v r="$runs" -v t="$elapsed" 'BEGIN { printf "%.1f", r / t }'; else echo '?'; fi)
  line=$(printf '%-16s %12s executions in %ss  %10s exec/s  %s' "$h" "${runs:-?}" "$seconds" "$rate" "$result")
  echo "$line"
  summary+=("$line")
done
echo "== summary =="
printf '%s\n' "${summary[@]}"
exit $status
