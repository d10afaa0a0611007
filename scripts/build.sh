#!/usr/bin/env bash
# Configures and builds one preset (default: the host build).
# Usage: scripts/build.sh [default|asan|tsan|mingw-i686|mingw-x86_64] [targets...]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
shift || true
scripts/setup.sh
cmake --preset "$preset" >/dev/null
if [ $# -gt 0 ]; then
  cmake --build --preset "$preset" -j "$(nproc)" --target "$@"
else
  cmake --build --preset "$preset" -j "$(nproc)"
fi
