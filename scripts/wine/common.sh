# What the Wine scripts share: Wine itself (installed when missing), one
# prefix under build/wine, one wine server kept for the whole run.
#
# OVL_WINE_ARCH chooses the architecture every script runs on:
#   x86_64 (the default): wine64, a 64-bit prefix in build/wine, the MinGW
#     x86-64 builds;
#   i686: the shipped 32-bit files (the MinGW i686 builds) under 32-bit Wine
#     in a 32-bit prefix in build/wine-i686. The kernel does not run 32-bit
#     programs here, so Wine runs inside a private namespace where qemu's
#     i386 emulator runs them (scripts/wine/namespace.sh), through the
#     wrappers in scripts/wine/i686/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export OVL_WINE_ARCH=${OVL_WINE_ARCH:-x86_64}
case $OVL_WINE_ARCH in
  x86_64) wine_dir=$root/build/wine ;;
  # A 32-bit prefix: in a 64-bit one Wine redirects 32-bit programs'
  # HKLM\Software.
  i686) wine_dir=$root/build/wine-i686; export WINEARCH=win32 ;;
  *) echo "wine: unknown OVL_WINE_ARCH '$OVL_WINE_ARCH' (x86_64 or i686)" >&2; exit 2 ;;
esac
# The Windows builds the checks run.
mingw_bin=$root/build/mingw-$OVL_WINE_ARCH/bin
export WINEPREFIX=$wine_dir/prefix
export WINEDEBUG=-all
# No Mono or Gecko installers when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="

# Runs apt-get as root (itself or through sudo).
as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_wine() {
  if [ "$OVL_WINE_ARCH" = i686 ]; then
    install_wine32
    return
  fi
  if [ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null; then
    return
  fi
  echo "wine: installing wine64"
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update -q
  as_root apt-get install -y -q --no-install-recommends wine64
}

# The i686 run's own copies, kept outside the tree: Debian's 32-bit Wine
# with the i386 libraries it needs, unpacked into a folder of their own
# (i386/root, laid over /usr inside the namespace only), and qemu's i386
# emulator of the bookworm-backports suite (i386/qemu-i386; Debian 12's own
# 7.2 spends minutes searching for free address space and crashes on the
# way). Nothing is installed machine-wide: no i386 architecture for dpkg
# (this machine's packages need not match the archive's i386 ones), no
# backports suite, no binfmt registration.
i386_dir=${OVL_I386_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/sorrelink/i386}
export OVL_I386_ROOT=$i386_dir/root
export OVL_I386_EMULATOR=$i386_dir/qemu-i386

# apt-get on a state of its own under $i386_dir/apt-$1 (an empty system of
# architecture $2, the suites that follow): it fetches without touching the
# machine's package state. The suites come from the archive that serves
# this machine's bookworm.
private_apt() {
  local state=$i386_dir/apt-$1 arch=$2 suite archive
  shift 2
  local -a suites=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do suites+=("$1"); shift; done
  shift
  archive=$(apt-get indextargets --format '$(REPO_URI)' 'Release: bookworm' 'Identifier: Packages' | head -n 1)
  mkdir -p "$state/lists/partial" "$state/archives/partial" "$state/cache" "$state/parts"
  touch "$state/status"
  for suite in "${suites[@]}"; do echo "deb [arch=$arch] $archive $suite main"; done > "$state/sources.list"
  apt-get -q -o Dir::State="$state" -o Dir::State::status="$state/status" -o Dir::State::Lists="$state/lists" \
    -o Dir::Cache="$state/cache" -o Dir::Cache::archives="$state/archives" \
    -o Dir::Etc::SourceList="$state/sources.list" -o Dir::Etc::SourceParts="$state/parts" \
    -o Dir::Etc::Preferences="$state/preferences" -o Dir::Etc::PreferencesParts="$state/parts" \
    -o APT::Architecture="$arch" -o APT::Architectures="$arch" -o APT::Sandbox::User=root "$@"
}

# Fetches and unpacks what the i686 run needs when it is missing. Each part
# is made under a name of its own and renamed when whole, so an interrupted
# fetch is made again.
install_wine32() {
  if [ ! -x "$OVL_I386_EMULATOR" ]; then
    echo "wine: fetching qemu-user of bookworm-backports"
    private_apt backports amd64 bookworm-backports -- update >/dev/null
    rm -f "$i386_dir"/apt-backports/archives/*.deb
    (cd "$i386_dir/apt-backports/archives" &&
      private_apt backports amd64 bookworm-backports -- download qemu-user >/dev/null)
    rm -rf "$i386_dir/qemu"
    dpkg-deb -x "$i386_dir"/apt-backports/archives/qemu-user_*.deb "$i386_dir/qemu"
    mv "$i386_dir/qemu/usr/bin/qemu-i386" "$OVL_I386_EMULATOR"
    rm -rf "$i386_dir/qemu" "$i386_dir"/apt-backports/archives/*.deb
  fi
  if [ ! -x "$OVL_I386_ROOT/usr/lib/wine/wine" ]; then
    echo "wine: fetching wine32 and its i386 libraries"
    private_apt i386 i386 bookworm bookworm-updates -- update >/dev/null
    rm -f "$i386_dir"/apt-i386/archives/*.deb
    private_apt i386 i386 bookworm bookworm-updates -- install -y --download-only --no-install-recommends \
      wine32 >/dev/null
    local tree=$OVL_I386_ROOT.new deb
    rm -rf "$tree" "$OVL_I386_ROOT"
    for deb in "$i386_dir"/apt-i386/archives/*.deb; do dpkg-deb -x "$deb" "$tree"; done
    # The libraries of /lib where the machine (merged /usr) looks for them.
    if [ -d "$tree/lib" ]; then
      cp -a "$tree/lib/." "$tree/usr/lib/"
      rm -rf "$tree/lib"
    fi
    # What the Wine package's installation does: its zlib1.dll is MinGW's,
    # marked as one of Wine's own (the marker where a DOS stub lies).
    local zlib=$tree/usr/i686-w64-mingw32/lib/zlib1.dll
    { head -c 64 "$zlib"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$zlib"; } \
      > "$tree/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
    mv "$tree" "$OVL_I386_ROOT"
    rm -f "$i386_dir"/apt-i386/archives/*.deb
  fi
}

# The wine that runs the checks' programs (the name stays from when it was
# wine64 alone): for i686, the 32-bit wine inside the namespace.
wine64_path() {
  if [ "$OVL_WINE_ARCH" = i686 ]; then
    echo "$root/scripts/wine/i686/wine"
  elif [ -x /usr/lib/wine/wine64 ]; then
    echo /usr/lib/wine/wine64
  else
    command -v wine64
  fi
}

wineserver_path() {
  if [ "$OVL_WINE_ARCH" = i686 ]; then
    echo "$root/scripts/wine/i686/wineserver"
  elif [ -x /usr/lib/wine/wineserver64 ]; then
    echo /usr/lib/wine/wineserver64
  else
    command -v wineserver
  fi
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
  copy_clean_prefix
  "$(wineserver_path)" -p </dev/null >/dev/null 2>&1 || true
  "$(wine64_path)" cmd /c exit >/dev/null 2>&1 </dev/null || true
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

# The sizes of PORT_INFO_1 and PORT_INFO_2 on each architecture (the 32-bit
# ones are those portmon/monitor.h asserts for the shipping target).
declare -A port_record_sizes=([x86_64]='8 32' [i686]='4 20')

# The monitor driver's answers (standard input) as a monitor built for
# architecture $2 gives them, from answers of one built for $1: every size
# of a level's EnumPorts less its records' growth (the number of records
# its buffer call returned times the difference in record size). Texts,
# counts and results stay as they are, so only a layout can differ.
port_records_to() {
  awk -v from="${port_record_sizes[$1]}" -v to="${port_record_sizes[$2]}" '
    BEGIN { split(from, f); split(to, t) }
    { lines[NR] = $0 }
    /^EnumPorts level [12], needed: 1 / { count[$3 + 0] = $NF }
    END {
      for (i = 1; i <= NR; i++) {
        line = lines[i]
        if (line ~ /^EnumPorts level [12],/ && match(line, / needed [0-9]+ /)) {
          level = substr(line, 17, 1) + 0
          n = substr(line, RSTART + 8, RLENGTH - 9) + 0
          if (n != 3735928559) n -= count[level] * (f[level] - t[level])
          line = substr(line, 1, RSTART - 1) " needed " n " " substr(line, RSTART + RLENGTH)
        }
        print line
      }
    }'
}

# The clean prefix copied to $WINEPREFIX: Wine's own programs and libraries
# (system32, syswow64: most of its size; the checks add files there and
# delete them, never write one in place) as hard links, the rest copied.
copy_clean_prefix() {
  local clean=$wine_dir/prefix-clean dir
  mkdir -p "$WINEPREFIX"
  tar -C "$clean" --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 -cf - . |
    tar -C "$WINEPREFIX" -xf -
  for dir in system32 syswow64; do
    [ -d "$clean/drive_c/windows/$dir" ] && cp -al "$clean/drive_c/windows/$dir" "$WINEPREFIX/drive_c/windows/"
  done
  return 0
}

# A host path as a Windows program under Wine names it (drive Z:).
wine_path_of() {
  local path=$1
  echo "Z:${path//\//\\}"
}

# The prefix's HKEY_LOCAL_MACHINE to $1 and HKEY_CURRENT_USER to $2, in the
# wine server's own text format (tests/wine/registry_save.cpp).
save_registry() {
  run_wine "$mingw_bin/registry_save.exe" "$(wine_path_of "$1")" "$(wine_path_of "$2")" >/dev/null
}
