#!/usr/bin/env bash
# Builds and checks the 32-bit Windows deliverables and packs them as a
# driver disk: build/package/sorrelink-usb-<version>-win98.zip, holding the
# three files, a README.TXT that says what each one is and where it goes,
# and SHA256.TXT, their SHA-256 list. The wizard's bitmap is compiled into
# usbcheck98.exe and not shipped on its own.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build-windows.sh i686
bin=build/mingw-i686/bin
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/mingw-i686/CMakeCache.txt)
[ -n "$version" ] || { echo "package-windows: no project version in build/mingw-i686" >&2; exit 1; }
files=(ovlpom00.dll ovlcin00.exe usbcheck98.exe)

# The whole listing is read first: grep -q would stop early and, under
# pipefail, windres's broken pipe would count as a missing bitmap.
resources=$(i686-w64-mingw32-windres -i "$bin/usbcheck98.exe" -O rc)
if ! grep -q '^133 2 /\* RT_BITMAP \*/' <<<"$resources"; then
    echo "package-windows: usbcheck98.exe does not carry its bitmap 133" >&2
    exit 1
fi

name=sorrelink-usb-$version-win98
stage=build/package/$name
rm -rf "$stage" "build/package/$name.zip"
mkdir -p "$stage"
cp "${files[@]/#/$bin/}" "$stage/"

# Text files in the disk's own line endings.
crlf() { sed 's/$/\r/'; }
sed "s/@VERSION@/$version/g" scripts/package/README.TXT.in | crlf >"$stage/README.TXT"
(cd "$stage" && sha256sum "${files[@]}" README.TXT | crlf >SHA256.TXT)

(cd "$stage" && cmake -E tar cf "../$name.zip" --format=zip -- README.TXT "${files[@]}" SHA256.TXT)
echo "package-windows: build/package/$name.zip"
(cd "$stage" && sha256sum "${files[@]}")
