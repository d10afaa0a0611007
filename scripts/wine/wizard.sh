#!/usr/bin/env bash
# The troubleshooting wizard through its four options (the actions of
# tests/wine/wizard.script), on the stand-in and under Wine, from the same
# start: a stand-in machine with one printer installed and unplugged and its
# port recorded by the spooler, and a fresh prefix seeded from it as
# scripts/wine/agent.sh seeds one. The stand-in's wizard follows the script
# with `ovlsim usbcheck --script --transcript`; under Wine,
# tests/wine/wizard_driver.cpp starts usbcheck98.exe and works its dialog
# with window messages. Both write the same plain transcript (one text a
# line: pages, options, buttons, lists, message boxes). Afterwards the
# family's keys, files and renames are compared as agent.sh compares them.
# The differences listed in known-differences.txt (as "wizard: ..." lines)
# are expected, every other one fails.
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/seed.sh"
# Another script may be given, to try a case by hand.
script=${1:-$root/tests/wine/wizard.script}
start=$wine_dir/wizard-start
standin=$wine_dir/wizard-standin
rm -rf "$start" "$standin"
"$ovlsim" --machine "$start" init >/dev/null
"$ovlsim" --machine "$start" shell stop >/dev/null
"$ovlsim" --machine "$start" plug 'Sorrelink 640' X1 >/dev/null
"$ovlsim" --machine "$start" unplug X1 >/dev/null
"$ovlsim" --machine "$start" ports >/dev/null
cp -a "$start" "$standin"

"$ovlsim" --machine "$standin" usbcheck --script "$script" \
  --transcript "$wine_dir/wizard-standin.txt" >"$wine_dir/wizard-standin-screens.txt"

roots+=('System\CurrentControlSet\Control\Print\Ports\USB/Sorrelink 640/X1')
fresh_prefix
seed_prefix "$start"
cp "$mingw_bin/usbcheck98.exe" "$(prefix_path 'C:\Windows\System\usbcheck98.exe')"
cp "$mingw_bin/wizard_driver.exe" "$(prefix_path 'C:\Windows\wizard_driver.exe')"
cp "$script" "$wine_dir/wizard.script"
driver=0
run_wine 'C:\windows\wizard_driver.exe' 'C:\windows\system\usbcheck98.exe' \
  "Z:${wine_dir//\//\\}\\wizard.script" > "$wine_dir/wizard-wine.txt" || driver=$?
# The wizard's own file is the check's placement, not the wizard's work
# (on the stand-in it runs as its host build).
rm -f "$(prefix_path 'C:\Windows\System\usbcheck98.exe')"

# What the options left (the agent's removals, the purge, the uninstall):
# the family's keys with their values, its files and the rename section.
record_left "$wine_dir/wizard-left"

diffs=$wine_dir/wizard-differences.txt
{
  diff "$wine_dir/wizard-standin.txt" "$wine_dir/wizard-wine.txt"
  diff "$wine_dir/wizard-left-standin.txt" "$wine_dir/wizard-left-wine.txt"
} | grep '^[<>]' | sed 's/^</wizard: only on the stand-in:/; s/^>/wizard: only under Wine:/' > "$diffs" || true
known=$root/scripts/wine/known-differences.txt
unexpected=$(grep -v -x -F -f <(grep -v -e "^#" -e "^$" "$known") "$diffs" || true)
echo "wine: wizard: $(grep -c '^action: ' "$wine_dir/wizard-standin.txt") actions," \
  "$(wc -l < "$wine_dir/wizard-standin.txt") texts and $(wc -l < "$wine_dir/wizard-left-standin.txt")" \
  "keys, values, files and renames left on the stand-in, $(wc -l < "$diffs") known differences"
sed 's/^/  /' "$diffs"
if [ "$driver" -ne 0 ]; then
  echo "wine: wizard: the driver stopped (status $driver) after:" >&2
  tail -n 3 "$wine_dir/wizard-wine.txt" >&2
  exit 1
fi
if [ -n "$unexpected" ]; then
  echo "wine: wizard: unexpected differences:" >&2
  echo "$unexpected" >&2
  exit 1
fi
