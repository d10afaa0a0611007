#!/usr/bin/env bash
# Builds the project as anyone builds a CMake project (no preset, Release,
# warnings as errors on top), installs it into a prefix and runs the
# installed ovlsim's demonstration from a folder outside the tree.
# Usage: scripts/build-release.sh [PREFIX]   (default: build/release-install)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
prefix=${1:-$PWD/build/release-install}
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DOVL_WERROR=ON >/dev/null
cmake --build build/release -j "$(nproc)"
rm -rf "$prefix"
cmake --install build/release --prefix "$prefix" >/dev/null
away=$(mktemp -d)
trap 'rm -rf "$away"' EXIT
(cd "$away" && "$prefix/bin/ovlsim" demo >/dev/null)
echo "build-release: installed in $prefix; its ovlsim demo passed"
