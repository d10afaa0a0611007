#!/usr/bin/env bash
# Times one Win32 registry program (bench/win32_registry_loop.cpp) under Wine
# (wine64, built with MinGW x86-64) and on the layer, in pairs of runs whose
# order alternates, and prints each figure's median calls per second on both
# and the median of the pairs' ratios (layer / Wine).
# Usage: scripts/bench-wine.sh [rounds] [seconds per run]   (default 7 and 0.5)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-7}
seconds=${2:-0.5}

scripts/setup.sh wine64
scripts/build.sh default win32_registry_loop ovlsim >/dev/null
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
[ -x "$wine" ] || { echo "bench-wine: no wine64 found" >&2; exit 1; }

work=$(mktemp -d /tmp/ovl-bench-wine-XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() { "$wineserver" -k 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

x86_64-w64-mingw32-g++ -O2 -static -o "$work/win32_registry_loop.exe" bench/win32_registry_loop.cpp
echo "bench-wine: preparing a Wine prefix and a machine in $work"
# The server stays up between runs, as it does while Windows programs run.
mkdir -p "$WINEPREFIX" && "$wineserver" -p
"$wine" wineboot --init >/dev/null 2>&1
build/default/bin/ovlsim --machine "$work/machine" init >/dev/null
export OVLSIM_MACHINE=$work/machine

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

run_layer() { build/default/bin/win32_registry_loop "$1" "$seconds" | awk '{print $2}'; }
run_wine() { "$wine" "$work/win32_registry_loop.exe" "$1" "$seconds" | tr -d '\r' | awk '{print $2}'; }

printf '%-8s %14s %14s %8s\n' figure "layer calls/s" "Wine calls/s" ratio
for figure in reads writes opens; do
  : >"$work/layer" && : >"$work/wine" && : >"$work/ratio"
  for round in $(seq "$rounds"); do
    if [ $((round % 2)) -eq 1 ]; then
      layer=$(run_layer "$figure") && winerate=$(run_wine "$figure")
    else
      winerate=$(run_wine "$figure") && layer=$(run_layer "$figure")
    fi
    echo "$layer" >>"$work/layer" && echo "$winerate" >>"$work/wine"
    echo "$layer $winerate" | awk '{print $1 / $2}' >>"$work/ratio"
  done
  printf '%-8s %14.0f %14.0f %7.1fx\n' "$figure" "$(median <"$work/layer")" "$(median <"$work/wine")" \
    "$(median <"$work/ratio")"
done
