#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing,
# and the ones named on the command line (scripts/setup.sh wine64).
set -euo pipefail

packages=(cmake make g++ pkg-config libsqlite3-dev googletest libgtest-dev libgmock-dev libbenchmark-dev
          libcli11-dev libncurses-dev libvterm-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 "$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
