#!/usr/bin/env bash
# Builds and runs the tests of one preset: default (all tests), asan (all
# tests under AddressSanitizer and UndefinedBehaviorSanitizer) or tsan (the
# concurrency tests under ThreadSanitizer); "wine" runs the checks against
# Wine instead (scripts/wine/run.sh), "wine32" the same on the shipped
# 32-bit files under 32-bit Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
if [ "$preset" = wine ]; then
  exec scripts/wine/run.sh
fi
if [ "$preset" = wine32 ]; then
  OVL_WINE_ARCH=i686 exec scripts/wine/run.sh
fi
scripts/build.sh "$preset"
ctest --preset "$preset" -j "$(nproc)"
