#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS seconds (default 60)
# from its seed corpus in fuzz/corpus/. New corpus entries go to a temporary
# folder; a finding stops the run with status 1 and is kept as
# build/fuzz/findings/<target>-crash-... with the sanitizer's report above it.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/setup.sh clang libclang-rt-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

work=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
trap 'rm -rf "$work"' EXIT
export OVL_FUZZ_DIR=$work
mkdir -p build/fuzz/findings
status=0
for target in build/fuzz/bin/fuzz_*; do
  name=$(basename "$target")
  mkdir -p "$work/$name"
  log=$work/$name.log
  if "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="build/fuzz/findings/$name-" \
       "$work/$name" "fuzz/corpus/$name" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $name: ${runs:-?} runs, nothing found"
  else
    grep -v '^INFO:\|^#[0-9]' "$log" | tail -40 >&2
    echo "fuzz: $name: a finding, kept in build/fuzz/findings/" >&2
    status=1
  fi
done
exit $status
