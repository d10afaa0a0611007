#!/usr/bin/env bash
# The checks against Wine: the conformance suite, then the deliverables
# beside the stand-in (the agent's scenarios of installs and removals, the
# monitor, the wizard's scenarios) and whether the wizard's texts fit their
# controls (scripts/wine/fit.sh, on an X display of its own), on a prefix
# made like Windows 98, with one wine server at a time. Prints each result
# and the Wine marks; exits non-zero when anything differs that is not
# listed as a known difference or a text does not fit.
# OVL_WINE_ARCH=i686 runs it all on the shipped 32-bit files (common.sh),
# then tells how each result compares with the last x86-64 run's.
source "$(dirname "$0")/common.sh"
cd "$root"
install_wine
# OVL_WINE_SKIP_BUILD=1 leaves the builds out (when they are fresh).
[ -n "${OVL_WINE_SKIP_BUILD:-}" ] || scripts/build.sh default >/dev/null
[ -n "${OVL_WINE_SKIP_BUILD:-}" ] || scripts/build.sh "mingw-$OVL_WINE_ARCH" >/dev/null
trap '"$(wineserver_path)" -k 2>/dev/null || true' EXIT
scripts/wine/prefix.sh
failed=0
# Running does not show every wrong calling convention (a caller may
# restore its stack from its frame pointer): the 32-bit objects are read.
if [ "$OVL_WINE_ARCH" = i686 ]; then
  scripts/check-calling-conventions.sh "build/mingw-$OVL_WINE_ARCH" || failed=1
fi
scripts/wine/conformance.sh || failed=1
# The agent first: the monitor's check adds a device interface of its own.
scripts/wine/agent.sh || failed=1
scripts/wine/monitor.sh || failed=1
# The wizard last: each of its scenarios starts from a fresh prefix.
scripts/wine/wizard.sh || failed=1
scripts/wine/fit.sh || failed=1
[ "$OVL_WINE_ARCH" = x86_64 ] || scripts/wine/compare-runs.sh
if [ $failed -ne 0 ]; then
  echo "wine: differences found" >&2
  exit 1
fi
echo "wine: all checks agree"
