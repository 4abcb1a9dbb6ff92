#!/usr/bin/env bash
# Block coverage of the firmware images by their emulator runs: builds the images, image_coverage and the
# image test programs in build/host64 (and the image fuzz harnesses in build/fuzz), runs the tests that run
# the images and the image harnesses' corpora (fuzz/corpus/<h>, and build/fuzz/corpus/<h> when there, once,
# -runs=0) with IMAGE_COVERAGE_DIR set to a fresh build/image-coverage/blocks, then prints each image's
# report (tools/image_coverage: blocks reached of the total, each function not reached in full with its
# unreached blocks and the reason docs/image_coverage_reasons.yaml gives) and writes it as
# build/image-coverage/<image>.json.
#   scripts/image-coverage.sh [--no-fuzz] [--fail-under PERCENT]    JOBS=N sets the build and test jobs
# Exit status 1 when a build, an image test or a harness run failed, or (with --fail-under) an image's share
# of reached blocks is below PERCENT.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
fuzz=1
fail_under=()
while (($#)); do
  case $1 in
    --no-fuzz) fuzz=0 ;;
    --fail-under) fail_under=(--fail-under "$2"); shift ;;
    *) echo "usage: scripts/image-coverage.sh [--no-fuzz] [--fail-under PERCENT]" >&2; exit 2 ;;
  esac
  shift
done
images=(platform_smbios_driver trace_status_peim)
firmware=$PWD/build/host64/firmware
out=build/image-coverage
rm -rf "$out"
mkdir -p "$out/blocks"
export IMAGE_COVERAGE_DIR=$PWD/$out/blocks
status=0

echo "== image coverage: build/host64 =="
cmake --preset host64 > build/configure-host64.log 2>&1 || { cat build/configure-host64.log; exit 1; }
cmake --build --preset host64 -j"$jobs" --target firmware_images image_coverage sim_image_tests tools_boardsim_tests

# The tests that run the images: every suite of tests/sim/image, and those of tests/tools/boardsim whose files
# name a built image or the module volume.
image_tests=(tests/sim/image/*_test.cpp)
mapfile -t -O ${#image_tests[@]} image_tests < <(grep -lE 'DXE_IMAGE|PEI_IMAGE|MODULE_VOLUME' tests/tools/boardsim/*_test.cpp)
suites=$(grep -hoE '^TEST(_F|_P)?\([A-Za-z0-9_]+' "${image_tests[@]}" | sed 's/.*(//' | sort -u | paste -sd'|')
ctest --preset host64 -j"$jobs" -R "(^|/)($suites)\\." > "$out/ctest.log" 2>&1 || {
  status=1
  tail -n 30 "$out/ctest.log"
}
tail -n 3 "$out/ctest.log"

if ((fuzz)); then
  echo "== image coverage: build/fuzz, the image harnesses' corpora =="
  cmake --preset fuzz > build/configure-fuzz.log 2>&1 || { cat build/configure-fuzz.log; exit 1; }
  cmake --build --preset fuzz -j"$jobs" --target image_trace_fuzz image_board_fuzz image_regaccess_fuzz
  for h in image_trace image_board image_regaccess; do
    corpora=("fuzz/corpus/$h")
    [[ -d build/fuzz/corpus/$h ]] && corpora+=("build/fuzz/corpus/$h")
    # The harnesses run build/host64's images, the ones the report reads.
    if PEI_IMAGE_FILE=$firmware/trace_status_peim.efi DXE_IMAGE_FILE=$firmware/platform_smbios_driver.efi \
         build/fuzz/fuzz/${h}_fuzz -runs=0 -artifact_prefix="$out/$h-" "${corpora[@]}" > "$out/$h.log" 2>&1; then
      echo "$h: $(find "${corpora[@]}" -type f | wc -l) inputs run"
    else
      status=1
      echo "$h: the corpus run failed (see $out/$h.log)"
    fi
  done
fi

files=$(find "$IMAGE_COVERAGE_DIR" -name '*.blocks' | wc -l)
echo "== image coverage: $files executed-block files =="
if ((files == 0)); then
  echo "no run wrote an executed-block file: the emulator records its blocks only where it supports IMAGE_COVERAGE_DIR"
fi
for image in "${images[@]}"; do
  build/host64/tools/image_coverage/image_coverage --image "$firmware/$image.efi" \
    --reasons docs/image_coverage_reasons.yaml --json "$out/$image.json" "${fail_under[@]}" "$IMAGE_COVERAGE_DIR" ||
    status=1
done
exit $status
