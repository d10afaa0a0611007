#!/usr/bin/env bash
# Builds the three deliverables for Windows with MinGW (32-bit, the shipping
# target, and 64-bit) and checks that ovlpom00.dll exports InitializeMonitorEx
# alone.
set -euo pipefail
cd "$(dirname "$0")/.."
for arch in i686 x86_64; do
  scripts/build.sh "mingw-$arch"
  bin=build/mingw-$arch/bin
  for f in ovlpom00.dll ovlcin00.exe usbcheck98.exe; do
    [ -f "$bin/$f" ] || { echo "build-windows: $bin/$f is missing" >&2; exit 1; }
  done
  # The names listed under "[Ordinal/Name Pointer] Table", one per line.
  exports=$("$arch-w64-mingw32-objdump" -p "$bin/ovlpom00.dll" |
            sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s+\[' | sed 's/.*\] //' || true)
  if [ "$exports" != "InitializeMonitorEx" ]; then
    echo "build-windows: ovlpom00.dll ($arch) exports: ${exports:-nothing}" >&2
    exit 1
  fi
  echo "build-windows: $arch: ovlpom00.dll (exports InitializeMonitorEx), ovlcin00.exe, usbcheck98.exe"
done
