#!/usr/bin/env bash
# Performance and footprint report: installs what is missing, builds the measurement programs of bench/
# into build/perf (64-bit, preset perf) and build/perf32 (32-bit, preset perf32), runs them and writes
# docs/performance.md with the figures of this run and the command behind each. Not part of CI; nothing
# here is a test.
#   1. formatter against snprintf            bench/image/image_cost_measure.cpp (the PEI image's own count),
#                                            bench/format_bench.cpp (snprintf's count, host timings)
#   2. one status code through the PEI path  bench/pei/status_code_path_measure.cpp
#   3. the publishing callback               bench/dxe/publish_callback_measure.cpp
#   4. image sizes and the PEI stack         firmware_images, bench/pei/status_code_stack_measure.cpp
#   5. the images' own cost in the emulator  bench/image/image_cost_measure.cpp
# Where the kernel refuses 32-bit programs, the 32-bit programs run through qemu-i386; valgrind cannot run
# them there, so the PEI path's instruction counts are left out and the report says so.
# Exit status 1 when a measurement program reports a design violation (extra hardware accesses, a dirty
# run) or a budget is exceeded; the report is written either way.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=build/perf
build32=build/perf32
jobs=${PERF_JOBS:-$(nproc)}
doc=docs/performance.md

scripts/install-deps.sh
mkdir -p build
# 64-bit: the formatter benchmark, the image cost program, the callback program and the images
# (-fstack-usage for the frames of the image's code; it changes no instruction).
cmake --preset perf > build/configure-perf.log 2>&1 || { cat build/configure-perf.log; exit 1; }
cmake --build --preset perf -j"$jobs" --target format_bench publish_callback_measure image_cost_measure firmware_images
# 32-bit: the PEI programs; unwind tables let the stack program name the frames, -fstack-usage gives the
# compiler's figure of each (neither changes the code).
cmake --preset perf32 > build/configure-perf32.log 2>&1 || { cat build/configure-perf32.log; exit 1; }
cmake --build --preset perf32 -j"$jobs" --target status_code_path_measure status_code_stack_measure
# How the 32-bit tree starts its programs: natively (empty) or through the emulator it found.
read -r -a run32 < "$build32/ia32_emulator.txt" || run32=()
if ((${#run32[@]})); then
  echo "perf-report: this kernel refuses 32-bit programs; they run through ${run32[*]}, and valgrind cannot run" \
       "them there, so the PEI path's instruction counts are not measured" >&2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
out=$work/out
mkdir -p "$out"

# Instructions of the functions a static library defines, from one callgrind dump (self cost).
module_instructions() {  # dump library
  nm -C --defined-only "$2" 2>/dev/null | sed -n 's/^[0-9a-f]* [TtWw] //p' | sort -u > "$work/fns"
  callgrind_annotate --inclusive=no --threshold=100 "$1" 2>/dev/null | awk -v list="$work/fns" '
    BEGIN { while ((getline l < list) > 0) m[l] = 1 }
    /^ *[0-9,]+ +\(/ { n = $1; gsub(/,/, "", n); f = $0; sub(/^ *[0-9,]+ +\([^)]*\) +/, "", f)
                       sub(/ \[[^]]*\]$/, "", f); sub(/^[^:]*:/, "", f); if (f in m) s += n }
    END { print s + 0 }'
}

# 1. Formatter vs snprintf. The formatter's count is the PEI image's own (image_cost_measure runs the image's
# FormatText/FormatTextPacked in the CPU emulator); first the size/speed trade of the formatter objects'
# optimisation inside the image, each level built in turn (FIRMWARE_FORMAT_OPTIMIZATION), the image's own
# level last so that the tree ends as it ships. The formatter's lines, from image_cost_measure's report:
image_lines() { awk '/^Formatter lines/ { f = 1; next } f && / instructions,/ { print $1, $2; next } { f = 0 }' "$1"; }
pei_image=$build/firmware/trace_status_peim.efi
printf "%-22s %7s %7s %7s %18s\n" "formatter objects" "error" "debug" "assert" "PEI image bytes" > "$out/format_trade"
for level in -Os -O2 -O3 ""; do
  cmake "$build" -DFIRMWARE_FORMAT_OPTIMIZATION="$level" > "$work/trade.log" 2>&1 || { cat "$work/trade.log"; exit 1; }
  name=${level:-"-Oz, as shipped"}
  if ! cmake --build "$build" -j"$jobs" --target firmware_images > "$work/trade.log" 2>&1; then
    printf "%-22s not measured (the images did not build)\n" "$name" >> "$out/format_trade"
    status=1
    continue
  fi
  # A failed run (say, repeated runs of the driver image disagreeing) is noted beside the lines it printed.
  note=""
  "$build/bench/image_cost_measure" > "$work/trade_cost" 2>&1 || { note="  image_cost_measure: $(tail -1 "$work/trade_cost")"; status=1; }
  image_lines "$work/trade_cost" | awk -v l="$name" -v b="$(stat -c %s "$pei_image")" -v note="$note" '
    { n[NR] = $2 } END { printf "%-22s %7s %7s %7s %8s (%s)%s\n", l, n[1], n[2], n[3], b, b <= 16384 ? "fits 16384" : "over 16384", note }' \
    >> "$out/format_trade"
done
"$build/bench/image_cost_measure" > "$out/image_cost" || status=1
image_cmd="$build/bench/image_cost_measure"
pei_bytes=$(stat -c %s "$pei_image")
# snprintf's count (and the host build's of the same engine) from callgrind: deterministic.
format_cmd="cd \$(mktemp -d) && valgrind --tool=callgrind $build/bench/format_bench"
(cd "$work" && valgrind --tool=callgrind "$root/$build/bench/format_bench" 2>/dev/null) > "$out/format_callgrind"
image_lines "$out/image_cost" > "$out/image_lines"
awk 'NR == FNR { image[$1] = $2; next }
     / = / { if (!header++) printf "Instructions per line, formatter on the PEI image / snprintf (host build of the formatter beside):\n"
             printf "  %-7s %6d / %6d = %.2f   (host -O2: %6d = %.2f)\n", $1, image[$1], $4, image[$1] / $4, $2, $2 / $4 }' \
  "$out/image_lines" "$out/format_callgrind" > "$out/format_ratio_image"
format_timed="$build/bench/format_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_color=false"
$format_timed 2>/dev/null | sed 's/\x1b\[[0-9;]*m//g' > "$out/format_timed"
# CPU-time ratio of the medians per line (units normalised to ns).
awk '/_median/ { split($1, p, "/"); side = p[1]; line = p[2]; sub(/_median$/, "", line)
                 t = $4 * ($5 == "us" ? 1000 : $5 == "ms" ? 1e6 : 1); cpu[side, line] = t; if (!(line in seen)) { seen[line] = 1; order[++n] = line } }
     END { printf "CPU time per line (medians), formatter / snprintf:\n"
           for (i = 1; i <= n; ++i) { l = order[i]; if (cpu["snprintf", l] > 0)
             printf "  %-7s %8.1f ns / %8.1f ns = %.2f\n", l, cpu["formatter", l], cpu["snprintf", l], cpu["formatter", l] / cpu["snprintf", l] } }' \
  "$out/format_timed" > "$out/format_ratio"

# 2. The PEI path: counts and checks, then the module's instructions with the simulator toggled out at
# its entries (hardware primitives, LocatePpi, the PCD PPI).
path_bin=$build32/bench/status_code_path_measure
"${run32[@]}" "$path_bin" > "$out/path" || status=1
toggles=(--toggle-collect='StatusCodeListener(*')
for f in MmioRead8 MmioRead16 MmioRead32 MmioRead64 MmioWrite8 MmioWrite16 MmioWrite32 MmioWrite64 ReadIdtBase \
  'sim::(anonymous namespace)::LocatePpiService(*' 'sim::(anonymous namespace)::PcdGet64(*' \
  'sim::(anonymous namespace)::PcdGetPtr(*'; do
  toggles+=(--toggle-collect="$f")
done
path_cg_cmd="cd \$(mktemp -d) && valgrind --tool=callgrind --collect-atstart=no $(printf "%q " "${toggles[@]}")$path_bin"
path_missing=""
if ((${#run32[@]})); then
  path_missing="not measured: this machine's kernel refuses 32-bit programs, which then run through ${run32[*]}, and valgrind cannot run a program under that emulator"
  echo "$path_missing" > "$out/path_callgrind"
else
  (cd "$work" && valgrind --tool=callgrind --collect-atstart=no "${toggles[@]}" "$root/$path_bin" 2>/dev/null) \
    > "$out/path_callgrind" || status=1
fi

# 3. The publishing callback: counts, then its instructions per board (driver and simulated platform), and
# the driver's share from the same dumps.
callback_bin=$build/bench/publish_callback_measure
"$callback_bin" > "$out/callback" || status=1
mkdir -p "$work/cb"
callback_cg_cmd="cd \$(mktemp -d) && valgrind --tool=callgrind --collect-atstart=no --toggle-collect='PublishBoardSmbios*' --dump-instr=no $callback_bin"
(cd "$work/cb" && valgrind --tool=callgrind --collect-atstart=no --toggle-collect='PublishBoardSmbios*' --dump-instr=no \
  "$root/$callback_bin" 2>/dev/null) > "$out/callback_callgrind" || status=1
driver_lib=$(find "$build/smbios" -name 'libplatform_smbios_driver_code.a' | head -1)
{
  echo "Driver's own instructions in the callback (same dumps, functions of $(basename "$driver_lib")):"
  part=0
  for extra in 0 1 10 100 1000; do
    part=$((part + 1))
    dump=$(ls "$work"/cb/callgrind.out.*."$part" 2>/dev/null | head -1)
    [ -n "$dump" ] || continue
    printf "  %4d pre-existing type 27: %12s\n" "$extra" "$(module_instructions "$dump" "$driver_lib")"
  done
} > "$out/callback_module"

# 4. Image sizes per section and the PEI module's stack.
images_cmd="cmake --build $build --target firmware_images"
sizes="not built: firmware_images failed (see $build/firmware_images.log)"
budgets=""
if cmake --build "$build" -j"$jobs" --target firmware_images > "$build/firmware_images.log" 2>&1; then
  sizes=$(grep -v -e '^\[ *[0-9]*%\]' -e '^ninja\|^make' "$build/firmware_images.log" | sed "s|$root/||g" || true)
  budgets=$(echo "$sizes" | awk '
    / bytes in the file/ { name = $1; sub(/.*\//, "", name); sub(/:$/, "", name)
                           for (i = 1; i <= NF; ++i) if ($(i + 1) == "bytes" && $(i + 2) == "in" && $(i + 3) == "the") file = $i
                           budget = name ~ /peim/ ? 16384 : 24576
                           printf "%s: %d bytes in the file, budget %d: %s\n", name, file, budget,
                                  file <= budget ? "met" : "NOT met (" file - budget " bytes over)" }')
  echo "$budgets" | grep -q "NOT met" && status=1
else
  status=1
fi
stack_bin=$build32/bench/status_code_stack_measure
"${run32[@]}" "$stack_bin" > "$out/stack" || status=1
# The deepest code's frames, named, with the compiler's figure for each: gcc -m32 (.su includes the return
# address) and, for the same functions, clang -Oz of the image (.su without it; 4 added; 0 when inlined).
deepest=$(awk '/^[a-z]/ && $2 ~ /^[0-9]+$/ { if ($2 > max) { max = $2; name = $1 } } END { print name }' "$out/stack")
frames=$(awk -v c="$deepest" '$1 == c { found = 1; next } found && /frames at/ { sub(/.*: /, ""); print; exit }' "$out/stack")
su_files=$(find "$build32/trace" "$build32/regaccess" -name '*.su' 2>/dev/null)
image_su_files=$(find "$build/firmware/trace_status_peim.objects" -name '*.su' 2>/dev/null)
{
  printf "%-28s %10s %14s %18s\n" "function" "measured" "gcc -m32 .su" "image clang .su+4"
  total=0; total_su=0; total_image=0; first=1
  for frame in $frames; do
    addr=${frame%%:*}; bytes=${frame##*:}
    lines=$(addr2line -f -i -C -e "$stack_bin" "$addr")
    fn=$(echo "$lines" | tail -2 | head -1); file=$(echo "$lines" | tail -1); file=${file%%:*}; file=${file##*/}
    fn=${fn//(anonymous namespace)::/}; simple=${fn%%(*}; simple=${simple##*::}
    if [ "$first" = 1 ]; then  # the platform entry the module called: not module code
      printf "%-28s %10s %14s %18s\n" "($simple, platform)" "$bytes" "" ""
      first=0; continue
    fi
    su=$(cat $su_files /dev/null | awk -F'\t' -v f="$file" -v n="$simple" '
      { split($1, p, ":"); b = p[1]; sub(/.*\//, "", b); d = $1; sub(/^[^:]*:[0-9]+:[0-9]+:/, "", d)
        if (b == f && d ~ ("(^|[ :])" n "\\(")) { if ($2 > s) s = $2 } } END { print s + 0 }')
    image=$(for s in $image_su_files; do c++filt < "$s"; done | awk -F'\t' -v f="$file" -v n="$simple" '
      { split($1, p, ":"); b = p[1]; sub(/.*\//, "", b)
        if (b == f && $1 ~ ("(^|[ :])" n "\\(")) { if ($2 > s) s = $2; hit = 1 } } END { print hit ? s + 4 : 0 }')
    printf "%-28s %10s %14s %18s\n" "$simple" "$bytes" "$su" "$image"
    total=$((total + bytes)); total_su=$((total_su + su)); total_image=$((total_image + image))
  done
  printf "%-28s %10s %14s %18s\n" "module total" "$total" "$total_su" "$total_image"
} > "$out/stack_frames"
painted=$(awk -v c="$deepest" '$1 == c { print $2 }' "$out/stack")
callout=$(awk -v c="$deepest" '$1 == c { print $3 }' "$out/stack")
[ "${painted:-99999}" -le 3072 ] || status=1

# Per-record growth between successive boards, from lines "  N pre-existing type 27: COUNT".
per_record() {  # file label
  awk -v label="$2" '/pre-existing/ { if (seen) { printf "%s%d->%d: %.0f", sep, n, $1, ($NF - c) / ($1 - n); sep = ", " }
                                       else printf "%s: ", label
                                       seen = 1; n = $1; c = $NF } END { print "" }' "$1"
}

# What was measured: the commit, and whether tracked files other than the report differ from it.
source="a tree outside git"
if rev=$(git rev-parse --short HEAD 2>/dev/null); then
  source="commit $rev"
  git diff --quiet HEAD -- . ':!docs/performance.md' || source="$source with uncommitted changes"
fi

# The table of figures: one line per measured quantity, taken from the outputs above.
row() { printf "| %s | %s |\n" "$1" "$2"; }
path_row() {  # code
  local counts instr
  counts=$(awk -v c="$1" '$1 == c { printf "%s chars, %s writes, %s checks, %s MMIO reads, %s MMIO writes, %s PPI look-ups", $2, $3, $4, $5, $6, $7 }' "$out/path")
  if [ -n "$path_missing" ]; then
    row "2. PEI path, $1" "$counts; module instructions $path_missing"
  else
    instr=$(awk -v c="$1" '$1 == c { print $2 }' "$out/path_callgrind")
    row "2. PEI path, $1" "$counts, $instr module instructions"
  fi
}
image_row() {  # code: the image's own figures beside the host-linked module's
  local image host_instr painted
  image=$(awk -v c="$1" '$1 == c && $3 ~ /^[0-9]+$/ { printf "%s instructions, deepest stack %s B, %s hub writes", $2, $3, $5 }' "$out/image_cost")
  painted=$(awk -v c="$1" '$1 == c { print $2 }' "$out/stack")
  if [ -n "$path_missing" ]; then
    host_instr="host 32-bit module instructions not measured (see 2.)"
  else
    host_instr="host 32-bit module $(awk -v c="$1" '$1 == c { print $2 }' "$out/path_callgrind") instructions"
  fi
  row "5. PEI image, $1" "${image:-not measured (see 5.)}; $host_instr, painted stack $painted B"
}
callback_row() {  # pre-existing records
  local counts instr own
  counts=$(awk -v n="$1" '$1 == n { printf "%s Adds, %s Removes, %s GetNexts, %s ECAM reads, %s ECAM writes, %s PCI I/O reads, %s us virtual", $2, $3, $4, $5, $6, $7, $8 }' "$out/callback")
  instr=$(awk -v n="$1" '$1 == n && /pre-existing/ { print $NF }' "$out/callback_callgrind")
  own=$(awk -v n="$1" '$1 == n && /pre-existing/ { print $NF }' "$out/callback_module")
  row "3. Callback, $1 type 27 before" "$counts; $instr instructions ($own in the driver)"
}

{
  echo "# Performance and footprint"
  echo
  echo "Produced by \`scripts/perf-report.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC') from $source"
  echo "($(uname -m), $(g++ --version | head -1), $(valgrind --version))."
  echo "Instruction counts come from callgrind and are deterministic (the programs check that repeated runs agree);"
  echo "timed figures are medians. Host builds are RelWithDebInfo (-O2); the images are clang -Oz."
  echo
  echo "## Figures"
  echo
  echo "| Quantity | Figure |"
  echo "|---|---|"
  row "1. Formatter on the PEI image / snprintf instructions per line" "$(awk '/ = / { printf "%s%s %s", sep, $1, $6; sep = ", " }' "$out/format_ratio_image") (target at most 0.5); PEI image $pei_bytes bytes (budget 16384)"
  row "1. Formatter, host build / snprintf CPU time per line (medians)" "$(awk '/=/ { printf "%s%s %s", sep, $1, $NF; sep = ", " }' "$out/format_ratio")"
  for c in progress error debug-100 line-2047; do path_row "$c"; done
  for n in 0 1 10 100 1000; do callback_row "$n"; done
  if [ -n "$budgets" ]; then
    while IFS= read -r line; do row "4. Image ${line%%:*}" "${line#*: }"; done <<< "$budgets"
  else
    row "4. Images" "not built"
  fi
  for c in progress error debug-100 line-2047; do image_row "$c"; done
  row "5. Driver image on the default board, instructions" "$(awk '/^ *entry point/ { printf "entry point %s (stack %s B)", $3, $7 } /^ *callback/ { printf ", callback %s (stack %s B)", $2, $6 }' "$out/image_cost")"
  row "4. PEI stack, deepest status code ($deepest)" "$painted bytes painted high-water (budget 3072: $([ "${painted:-99999}" -le 3072 ] && echo met || echo NOT met)); $callout bytes of module frames at its deepest call-out; -fstack-usage of those frames: gcc -m32 $(awk '/^module total/ { print $4 }' "$out/stack_frames"), image clang -Oz estimate $(awk '/^module total/ { print $5 }' "$out/stack_frames")"
  echo
  echo "## 1. Formatter against the C library's snprintf (target: at most half the instructions, on the image)"
  echo
  echo "The formatter's instructions are the PEI image's own: the image's FormatText and FormatTextPacked run in"
  echo "the CPU emulator (clang, 32-bit) on the benchmark's three lines, their text compared with the host-linked"
  echo "formatter's. snprintf's are callgrind's count in the benchmark (64-bit C library). The host build of the"
  echo "same engine (g++ -O2, 64-bit) is shown beside."
  echo
  echo "Commands: \`$image_cmd\` and \`$format_cmd\`"
  echo
  echo '```'
  sed -n '/^Formatter lines/,/^Driver image/p' "$out/image_cost" | sed '$d'
  grep '^Two runs' "$out/image_cost" || true
  cat "$out/format_callgrind"
  echo
  cat "$out/format_ratio_image"
  echo '```'
  echo
  echo "Size and speed of the formatter's optimisation level inside the PEI image (the rest of the image stays"
  echo "-Oz): the formatter's objects alone rebuilt at each level (\`cmake $build -DFIRMWARE_FORMAT_OPTIMIZATION=<level>\`),"
  echo "instructions per line on the image, and the image's size in the file."
  echo
  echo '```'
  cat "$out/format_trade"
  echo '```'
  echo
  echo "Timed medians: \`$format_timed\`"
  echo
  echo '```'
  grep -E '_median' "$out/format_timed" || cat "$out/format_timed"
  cat "$out/format_ratio"
  echo '```'
  echo
  echo "## 2. One status code through the PEI path (32-bit build, simulated platform)"
  echo
  echo "Listener, formatter, SyS-T encoder, trace-hub transport, register access and PCD look-ups, on a"
  echo "platform that publishes an MCFG table with the segment 0 entry. \"checks\" are the channel-address"
  echo "resolutions (presence checks): the design allows one per channel write plus the presence test, each"
  echo "reading the PMC's vendor ID and base, the disable byte and the probe word (4 MMIO reads) after one PCD"
  echo "PPI look-up; the program fails on any access beyond that. Host ns: the simulator's time, median of 101."
  echo
  echo "Command: \`$path_bin\`"
  echo
  echo '```'
  cat "$out/path"
  echo '```'
  echo
  echo "Command: \`$path_cg_cmd\`"
  echo
  echo '```'
  cat "$out/path_callgrind"
  echo '```'
  echo
  echo "## 3. The publishing callback on the default board"
  echo
  echo "The built-in default board, with 0, 1, 10, 100 and 1000 cooling-device records (type 27, which the"
  echo "callback removes) placed before the driver runs. Counted from the call into the callback to its return:"
  echo "SMBIOS protocol calls, ECAM reads and writes, PCI I/O configuration reads, virtual time (Stall waits)."
  echo "Host time: the simulator's, median of 11 boots."
  echo
  echo "Command: \`$callback_bin\`"
  echo
  echo '```'
  cat "$out/callback"
  echo '```'
  echo
  echo "Command: \`$callback_cg_cmd\`"
  echo
  echo '```'
  cat "$out/callback_callgrind"
  cat "$out/callback_module"
  echo '```'
  echo
  echo "The platform's part includes the simulator's own upkeep of its table (its Remove erases from a vector,"
  echo "moving every record behind the removed one); the driver's part is the module's own work."
  echo
  echo "Added per pre-existing record, between successive boards (constant: linear growth; rising: faster):"
  echo
  echo '```'
  per_record "$out/callback_callgrind" "instructions (driver and platform)"
  per_record "$out/callback_module" "instructions (driver)"
  awk '$1 ~ /^[0-9]+$/ { if (seen) { printf "%s%d->%d: %.2f", sep, n, $1, ($4 - g) / ($1 - n); sep = ", " }
                          else printf "GetNexts: "
                          seen = 1; n = $1; g = $4 } END { print "" }' "$out/callback"
  echo '```'
  echo
  echo "## 4. Image sizes per section (budgets: driver 24 KiB, PEI module 16 KiB, size-optimised)"
  echo
  echo "Command: \`$images_cmd\`"
  echo
  echo '```'
  echo "$sizes"
  echo
  echo "$budgets"
  echo '```'
  echo
  echo "## 4. The PEI module's deepest stack use for one status code (budget 3 KiB)"
  echo
  echo "The listener runs on a painted stack of its own in the 32-bit build, on a bare platform whose hardware,"
  echo "PEI-service and PCD entries are small leaf functions. \"painted\" counts every byte written below the"
  echo "listener's caller (return address included; the platform entries' own frames too); \"module at call-out\""
  echo "is the module's frames when it called a platform entry deepest."
  echo
  echo "Command: \`$stack_bin\`"
  echo
  echo '```'
  cat "$out/stack"
  echo '```'
  echo
  echo "Cross-check of the deepest code's frames ($deepest) with the compilers' -fstack-usage figures"
  echo "(gcc -m32 of this build; the image's clang -Oz objects, which inline differently: a function inlined"
  echo "there counts 0). The .su figure is each function's largest frame, so its sum bounds the measured one."
  echo
  echo '```'
  cat "$out/stack_frames"
  echo '```'
  echo
  echo "## 5. What the images themselves execute (CPU emulator)"
  echo
  echo "The built images run unmodified in the CPU emulator (\`sim/image\`), on the same simulated platforms:"
  echo "the PEI image for the status codes of 2., the formatter's three lines of 1. called in the PEI image by"
  echo "their link-map symbols, and the driver image's entry point and callback on the default board. Counts"
  echo "are the guest's own instructions (platform services are host code behind trap slots, not counted), and"
  echo "the deepest stack is the lowest stack pointer against the stack the call was given. The program measures"
  echo "everything twice from fresh platforms and fails when a count differs."
  echo
  echo "Command: \`$image_cmd\`"
  echo
  echo '```'
  cat "$out/image_cost"
  echo '```'
} > "$doc"
cat "$doc"
exit $status
