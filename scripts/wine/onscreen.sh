# The troubleshooting wizard on a screen: what scripts/wine/pictures.sh and
# scripts/wine/fit.sh share. Sourced after common.sh and seed.sh.

# A stand-in machine as the wizard's checks start from: one printer of
# model $2 with serial number $3 installed and unplugged, its port recorded
# by the spooler.
wizard_start() {
  machine_with "$1" "$2 $3"
  "$ovlsim" --machine "$1" unplug "$3" >/dev/null
  "$ovlsim" --machine "$1" ports >/dev/null
}

# Runs the wizard driver on a fresh prefix seeded from the machine $1, on a
# display of its own, through the script $2, with the driver's options
# that follow; the transcript goes to standard output. The display and the
# wine server end with the calling script.
wizard_on_screen() {
  local machine=$1 script=$2
  shift 2
  # What the preparation says is not the transcript.
  {
    fresh_prefix
    start_display
    # The session draws on this display: both end together.
    trap 'stop_display; "$(wineserver_path)" -k 2>/dev/null || true' EXIT
    display_session
    standin_state "$machine" "$machine"
    carry_into_prefix "$(empty_state)" "$machine" "$machine"
    cp "$mingw_bin/usbcheck98.exe" "$(prefix_path 'C:\Windows\System\usbcheck98.exe')"
    cp "$mingw_bin/wizard_driver.exe" "$(prefix_path 'C:\Windows\wizard_driver.exe')"
    cp "$script" "$wine_dir/onscreen.script"
  } >&2
  run_wine 'C:\windows\wizard_driver.exe' "$@" 'C:\windows\system\usbcheck98.exe' \
    "Z:${wine_dir//\//\\}\\onscreen.script"
}
