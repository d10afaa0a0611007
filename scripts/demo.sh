#!/usr/bin/env bash
# The main job: builds ovlsim and walks a printer's whole road on a fresh
# emulated Windows 98 machine. Arguments go to 'ovlsim demo'.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh default >/dev/null
exec build/default/bin/ovlsim demo "$@"
