#!/usr/bin/env bash
# Pictures of the troubleshooting wizard as a person sees it under Wine: the
# wizard driver works through the actions of tests/wine/wizard.script (the
# four options, from the start wizard.sh uses: one printer, X1, installed and
# unplugged) on an X display of its own, and takes a picture of the dialog
# after each step (with the message box over it when the step brought one
# up). They are written as small palette PNGs, NN-<action>.png
# (NN-<action>-box.png with a box), one for each thing seen, into the folder
# given, by default docs/wizard, the pictures that
# docs/wizard.md shows. Needs ImageMagick (installed when missing).
#
# Usage: scripts/wine/pictures.sh [FOLDER]
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/seed.sh"
source "$(dirname "$0")/onscreen.sh"
out=$(realpath -m "${1:-$root/docs/wizard}")
install_wine
if ! command -v convert >/dev/null; then
  echo "wine: installing imagemagick"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends imagemagick
fi
start=$wine_dir/pictures-start
shots=$wine_dir/pictures
wizard_start "$start" 'Sorrelink 640' X1
rm -rf "$shots"
mkdir -p "$shots" "$out"
driver=0
wizard_on_screen "$start" "$root/tests/wine/wizard.script" \
  --pictures "Z:${shots//\//\\}" > "$wine_dir/pictures-transcript.txt" || driver=$?
if [ "$driver" -ne 0 ]; then
  echo "wine: pictures: the driver stopped (status $driver) after:" >&2
  tail -n 3 "$wine_dir/pictures-transcript.txt" >&2
  exit 1
fi
# A step that shows what an earlier one showed (a Back to a page already
# seen, a choice already made) gives no picture of its own.
rm -f "$out"/[0-9][0-9]-*.png
declare -A seen=()
for shot in "$shots"/*.bmp; do
  sum=$(md5sum < "$shot")
  [ -n "${seen[$sum]:-}" ] && continue
  seen[$sum]=1
  # A palette and no time stamps: the same screen gives the same file.
  convert "$shot" -strip -define png:exclude-chunks=date,time PNG8:"$out/$(basename "$shot" .bmp).png"
done
echo "wine: pictures: $(ls "$out"/[0-9][0-9]-*.png | wc -l) pictures of $(ls "$shots" | wc -l) steps in $out"
