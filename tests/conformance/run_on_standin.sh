#!/usr/bin/env bash
# Runs the conformance program on a fresh emulated machine, from where the
# suite expects it: C:\WINDOWS\CONFORM.EXE.
# Usage: run_on_standin.sh OVLSIM CONFORMANCE
set -euo pipefail
ovlsim=$1
program=$2
machine=$(mktemp -d)
trap 'rm -rf "$machine"' EXIT
"$ovlsim" --machine "$machine/m" init >/dev/null
cp "$program" "$machine/m/drive_c/Windows/CONFORM.EXE"
OVLSIM_MACHINE="$machine/m" "$machine/m/drive_c/Windows/CONFORM.EXE"
