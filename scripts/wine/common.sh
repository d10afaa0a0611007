# What the Wine scripts share: Wine itself (installed when missing), one
# prefix under build/wine, one wine server kept for the whole run.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
wine_dir=$root/build/wine
export WINEPREFIX=$wine_dir/prefix
export WINEDEBUG=-all
# No Mono or Gecko installers when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="

install_wine() {
  if [ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null; then
    return
  fi
  echo "wine: installing wine64"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends wine64
}

wine64_path() {
  if [ -x /usr/lib/wine/wine64 ]; then echo /usr/lib/wine/wine64; else command -v wine64; fi
}

wineserver_path() {
  if [ -x /usr/lib/wine/wineserver64 ]; then echo /usr/lib/wine/wineserver64; else command -v wineserver; fi
}

# Runs a Windows program; its output with Wine's line ends made Unix ones.
# The output goes through a file, not a pipe: the session's own programs
# that the run starts keep what they inherit open.
run_wine() {
  local out status=0
  out=$(mktemp)
  "$(wine64_path)" "$@" >"$out" 2>/dev/null </dev/null || status=$?
  tr -d '\r' < "$out"
  rm -f "$out"
  return $status
}

# Where a path on drive C: lies in the prefix, given with either kind of
# slash (lower case: Wine finds names without regard to case).
prefix_path() {
  local path=${1//\\//}
  path=${path#[Cc]:/}
  echo "$WINEPREFIX/drive_c/${path,,}"
}

# The prefix as scripts/wine/prefix.sh made it, with a new wine server kept
# for the rest of the run. Its first program starts a new session, which
# carries out wininit.ini: seed it only after this.
fresh_prefix() {
  "$(wineserver_path)" -k 2>/dev/null || true
  "$(wineserver_path)" -w 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  cp -a "$wine_dir/prefix-clean" "$WINEPREFIX"
  "$(wineserver_path)" -p </dev/null >/dev/null 2>&1 || true
  "$(wine64_path)" cmd /c exit >/dev/null 2>&1 </dev/null || true
}

# Where the Windows builds that run under Wine lie.
windows_bin() {
  echo "$root/build/mingw-x86_64/bin"
}

# Wine's own stand-ins for the Windows fonts (Tahoma, the dialogs' font, and
# Marlett, the caption buttons' glyphs), installed when missing: without them
# a drawn dialog shows the system's fonts instead, which the text measures
# and the pictures must not be made with. A machine that cannot install them
# is told so and goes on.
install_wine_fonts() {
  dpkg-query -W -f '${Status}' fonts-wine 2>/dev/null | grep -q 'ok installed' && return 0
  echo "wine: installing fonts-wine"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  if ! { DEBIAN_FRONTEND=noninteractive $sudo apt-get update -q &&
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends fonts-wine; } >/dev/null; then
    echo "wine: warning: fonts-wine is missing: Tahoma and Marlett are drawn with the system's fonts" >&2
  fi
}

# An X server of the run's own for the programs whose drawing is looked at:
# Xvfb at 24-bit colour on the first display number from 99 that is free
# (as xvfb-run -a looks for one), told back through a pipe once it takes
# connections; a number taken meanwhile by another server is passed over.
# DISPLAY names it afterwards; stop_display ends it. Installed when missing.
start_display() {
  install_wine_fonts
  if ! command -v Xvfb >/dev/null; then
    echo "wine: installing xvfb"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    DEBIAN_FRONTEND=noninteractive $sudo apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends xvfb
  fi
  local pipe number ready
  pipe=$(mktemp -u)
  for ((number = 99; number < 199; number++)); do
    [ -e "/tmp/.X$number-lock" ] && continue
    rm -f "$pipe"
    mkfifo "$pipe"
    Xvfb ":$number" -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$pipe" >/dev/null 2>&1 &
    display_pid=$!
    ready=""
    read -r ready < "$pipe" || true
    if [ "$ready" = "$number" ]; then
      rm -f "$pipe"
      export DISPLAY=:$number
      return 0
    fi
    wait "$display_pid" 2>/dev/null || true
  done
  rm -f "$pipe"
  display_pid=""
  echo "wine: no X display could be started" >&2
  return 1
}

stop_display() {
  if [ -n "${display_pid:-}" ]; then
    kill "$display_pid" 2>/dev/null || true
    wait "$display_pid" 2>/dev/null || true
  fi
  display_pid=""
}

# Makes the prefix's next session draw on $DISPLAY as Windows 98 draws: the
# X11 driver in a desktop of its own (Wine paints every frame and caption
# itself, as without a window manager nobody else would) and no font
# smoothing. The driver is chosen when a session starts, so the wine server
# starts again here; do it before seeding, as a new session carries out
# wininit.ini.
display_session() {
  local reg=$wine_dir/display.reg
  {
    printf 'REGEDIT4\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\r\n"Graphics"="x11"\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"Desktop"="Default"\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"Default"="1024x768"\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"FontSmoothing"="0"\r\n\r\n'
  } > "$reg"
  "$(wine64_path)" regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1
  "$(wineserver_path)" -k 2>/dev/null || true
  "$(wineserver_path)" -w 2>/dev/null || true
  "$(wineserver_path)" -p </dev/null >/dev/null 2>&1 || true
  "$(wine64_path)" cmd /c exit >/dev/null 2>&1 </dev/null || true
}
