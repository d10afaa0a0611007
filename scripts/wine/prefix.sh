#!/usr/bin/env bash
# Makes a fresh Wine prefix, with its wine server kept running, that looks
# like Windows 98 to the programs the
# checks run: the "Version" text, Windows 98 as the version of each program
# (AppDefaults), C:\Windows\System and C:\Windows\Inf\Other, the spooler's
# Print\Ports key, the device classes under Services\Class, and no display
# needed (the null graphics driver).
source "$(dirname "$0")/common.sh"
install_wine
"$(wineserver_path)" -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
"$(wine64_path)" wineboot --init >/dev/null 2>&1
mkdir -p "$(prefix_path 'C:\Windows\System')" "$(prefix_path 'C:\Windows\Inf\Other')"
reg=$wine_dir/windows98.reg
{
  printf 'REGEDIT4\r\n\r\n'
  printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n"Version"="Windows 98"\r\n\r\n'
  printf '[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Ports]\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\r\n"Graphics"="null"\r\n\r\n'
  for program in CONFORM.EXE CFCHILD.EXE MONITOR_DRIVER.EXE WIZARD_DRIVER.EXE OVLCIN00.EXE USBCHECK98.EXE; do
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s]\r\n"Version"="win98"\r\n\r\n' "$program"
  done
  # Windows 98 keeps its device classes under Services\Class (Wine under
  # Control\Class): the classes a new stand-in machine has, so that the
  # family's purge of its own classes leaves the key there on both.
  machine=$wine_dir/classes-machine
  rm -rf "$machine"
  "$root/build/default/bin/ovlsim" --machine "$machine" init >/dev/null
  "$root/build/default/bin/ovlsim" --machine "$machine" reg export \
    'HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\Class' | tail -n +2 | sed 's/$/\r/'
  rm -rf "$machine"
} > "$reg"
run_wine regedit /S "$(wine_path_of "$reg")" >/dev/null
# Once the first session has ended, a copy to start afresh from
# (fresh_prefix), then one server from here to the end of the run
# (scripts/wine/run.sh stops it): every new session carries out wininit.ini
# as a restart would, so the agent's scheduled work must stay scheduled
# until it is compared.
"$(wineserver_path)" -w
rm -rf "$wine_dir/prefix-clean" "$wine_dir/drive-hashes.txt"
cp -a "$WINEPREFIX" "$wine_dir/prefix-clean"
"$(wineserver_path)" -p </dev/null >/dev/null 2>&1 || true
echo "wine: prefix made in $WINEPREFIX"
