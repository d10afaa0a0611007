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
  copy_clean_prefix
  "$(wineserver_path)" -p </dev/null >/dev/null 2>&1 || true
  "$(wine64_path)" cmd /c exit >/dev/null 2>&1 </dev/null || true
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

# Where the Windows builds that run under Wine lie.
windows_bin() {
  echo "$root/build/mingw-x86_64/bin"
}

# A host path as a Windows program under Wine names it (drive Z:).
wine_path_of() {
  local path=$1
  echo "Z:${path//\//\\}"
}

# The prefix's HKEY_LOCAL_MACHINE to $1 and HKEY_CURRENT_USER to $2, in the
# wine server's own text format (tests/wine/registry_save.cpp).
save_registry() {
  run_wine "$(windows_bin)/registry_save.exe" "$(wine_path_of "$1")" "$(wine_path_of "$2")" >/dev/null
}
