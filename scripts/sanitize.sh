#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer (any finding stops the test) and
# runs them: build/asan64 (64-bit half) and build/asan32 (32-bit half, -m32). Firmware images and
# benchmarks are left out: they are not tests and the sanitizers do not apply to them.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
san="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -O1 -g"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0

run_half() {  # run_half <dir> <extra cmake args...>
  local dir=$1 arch=$2
  shift 2
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DWITH_FIRMWARE_IMAGES=OFF \
        -DCMAKE_C_FLAGS="$arch $san" -DCMAKE_CXX_FLAGS="$arch $san" \
        -DCMAKE_EXE_LINKER_FLAGS="$arch -fsanitize=address,undefined" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure -j"$jobs") || status=1
}

echo "== sanitizers, 64-bit half =="
run_half build/asan64 ""
echo "== sanitizers, 32-bit half =="
run_half build/asan32 -m32 -DPEI32=ON
exit $status
