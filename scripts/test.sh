#!/usr/bin/env bash
# Builds and runs the tests of one preset: default (all tests), asan (all
# tests under AddressSanitizer and UndefinedBehaviorSanitizer) or tsan (the
# concurrency tests under ThreadSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
scripts/build.sh "$preset"
ctest --preset "$preset" -j "$(nproc)"
