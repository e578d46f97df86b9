#!/usr/bin/env bash
# Runs the libFuzzer targets of the native sanitizer build (build-fuzz/, made by scripts/build.sh).
#   scripts/fuzz.sh smoke           each target over its seed corpus plus 100000 new inputs
#   scripts/fuzz.sh long [seconds]  each target in turn for that many seconds (default 600), one
#                                   job; new inputs are kept in fuzz/corpus-new/<target>/
# Fails on the first crash, oracle failure or sanitizer report; the input that caused it is
# kept in build-fuzz/artifacts/<target>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fuzzbuild=${QM_FUZZ_BUILD_DIR:-$root/build-fuzz}
mode=${1:-smoke}
targets=(escape lookup)

case "$mode" in
  smoke) budget=(-runs=100000 -max_total_time=120) ;;
  long) budget=(-max_total_time="${2:-600}") ;;
  *) echo "usage: $0 smoke | long [seconds]" >&2; exit 2 ;;
esac

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

for target in "${targets[@]}"; do
  binary="$fuzzbuild/fuzz_$target"
  if [ ! -x "$binary" ]; then
    echo "fuzz: $binary is missing; run scripts/build.sh first" >&2
    exit 1
  fi
  artifacts="$fuzzbuild/artifacts/$target"
  mkdir -p "$artifacts"
  # The first corpus folder receives new inputs: a scratch folder for the smoke run, so that the
  # committed seeds stay as they are.
  if [ "$mode" = smoke ]; then
    grown="$scratch/$target"
  else
    grown="$root/fuzz/corpus-new/$target"
  fi
  mkdir -p "$grown"
  log="$scratch/$target.log"
  if ! "$binary" "${budget[@]}" -timeout=10 -print_final_stats=1 -artifact_prefix="$artifacts/" \
       "$grown" "$root/fuzz/corpus/$target" >"$log" 2>&1; then
    cat "$log" >&2
    echo "fuzz: $target FAILED (input kept in $artifacts/)" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  seconds=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
  echo "fuzz: $target clean, $runs executions in ${seconds:-?} s"
done
