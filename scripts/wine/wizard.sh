#!/usr/bin/env bash
# The troubleshooting wizard on the stand-in and under Wine, from one start
# per scenario (scripts/wine/seed.sh): its four options one after the other
# (tests/wine/wizard.script) with one printer installed; then, with two
# printers installed, the registry purge, the uninstallation and the port
# deletion of the first and of the second printer, each on its own. The
# printers are unplugged (no printer is present under Wine either: Wine has
# no driver for it) and their ports recorded by the spooler. The stand-in's
# wizard follows the script with `ovlsim usbcheck --script --transcript`;
# under Wine, tests/wine/wizard_driver.cpp starts usbcheck98.exe and works
# its dialog with window messages. Both transcripts and what each run
# changed must agree but for the differences known-differences.txt lists.
# `wizard.sh FILE` runs another script, with one printer, to try a case by
# hand.
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/seed.sh"
a='Sorrelink 640'
starts=$wine_dir/starts
mkdir -p "$starts"

# A stand-in machine $1 with printers "MODEL SERIAL" installed, unplugged,
# their ports recorded.
unplugged_with() {
  local machine=$1 printer
  machine_with "$@"
  shift
  for printer in "$@"; do
    "$ovlsim" --machine "$machine" unplug "${printer##* }" >/dev/null
  done
  "$ovlsim" --machine "$machine" ports >/dev/null
}

# A script of the given actions, one an argument.
script_of() {
  local file=$starts/$1.script
  shift
  printf '%s\n' "$@" > "$file"
  echo "$file"
}

unplugged_with "$starts/wizard-one" "$a X1"
begin_scenario wizard-four-options "$starts/wizard-one"
wizard_step "${1:-$root/tests/wine/wizard.script}" "$a" X1
if [ $# -eq 0 ]; then
  unplugged_with "$starts/wizard-two" "$a X1" "$a X2"
  begin_scenario wizard-purge "$starts/wizard-two"
  wizard_step "$(script_of purge 'choose 3' next next)" "$a" X2
  begin_scenario wizard-uninstall "$starts/wizard-two"
  wizard_step "$(script_of uninstall 'choose 4' next next)" "$a" X2
  begin_scenario wizard-port-X1 "$starts/wizard-two"
  wizard_step "$(script_of port-X1 'choose 2' next open-list 'pick 0' next back back)" "$a" X1
  begin_scenario wizard-port-X2 "$starts/wizard-two"
  wizard_step "$(script_of port-X2 'choose 2' next open-list 'pick 1' next back back)" "$a" X2
fi

if [ "$failures" -ne 0 ]; then
  echo "wine: wizard: $failures runs with unexpected differences" >&2
  exit 1
fi
