#!/usr/bin/env bash
# The agent's removal of the last printer, on the stand-in and under Wine,
# from the same start: a machine where "ovlsim plug" installed one printer,
# its family's keys imported into the prefix and its files copied there
# (the agent and the monitor as their Windows builds). Afterwards the
# family's keys (regedit /E beside ovlsim reg export) and the rename section
# of wininit.ini are compared; the differences listed in known-differences
# are expected, every other one fails.
source "$(dirname "$0")/common.sh"
ovlsim=$root/build/default/bin/ovlsim
machine=$wine_dir/agent-machine
roots=(
  'Software\Orvane'
  'System\CurrentControlSet\Control\Print\Monitors\X1'
  'System\CurrentControlSet\Control\DeviceClasses\{7c2e5a10-3b4f-4d6a-9e21-5f8c0b1d2e3a}'
  'System\CurrentControlSet\Services\Class\{7c2e5a10-3b4f-4d6a-9e21-5f8c0b1d2e3a}'
  'System\CurrentControlSet\Services\Class\USB Sorrelink'
  'System\CurrentControlSet\Services\Ovlion00'
  'Enum\USB\VID_7E51&PID_0114'
)

# The key names below the roots, one a line, in upper case and sorted.
keys_of() {
  grep -a '^\[' "$1" | tr -d '\r' | tr '[:lower:]' '[:upper:]' | sort -u
}

# The rename section's entries, the restore copy's tick count left out.
renames_of() {
  [ -f "$1" ] || return 0
  tr -d '\r' < "$1" | sed -n '/^\[rename\]/I,/^\[/p' | grep '=' | tr '[:lower:]' '[:upper:]' |
    sed 's/[0-9]\{8\}\.EX_/<TICKS>.EX_/' | sort
}

rm -rf "$machine"
"$ovlsim" --machine "$machine" init >/dev/null
"$ovlsim" --machine "$machine" plug "Sorrelink 640" X1 >/dev/null

# The same start under Wine.
seed=$wine_dir/agent-seed.reg
printf 'REGEDIT4\r\n\r\n' > "$seed"
for key in "${roots[@]}"; do
  "$ovlsim" --machine "$machine" reg export "HKEY_LOCAL_MACHINE\\$key" | tail -n +2 | sed 's/$/\r/' >> "$seed"
done
"$(wine64_path)" regedit /S "Z:${seed//\//\\}" >/dev/null 2>&1
(cd "$machine/drive_c" && find . -type f) | while read -r file; do
  target=$(prefix_path "C:${file#.}")
  mkdir -p "$(dirname "$target")"
  cp "$machine/drive_c/$file" "$target"
done
for f in ovlcin00.exe ovlpom00.dll; do
  cp "$root/build/mingw-x86_64/bin/$f" "$(prefix_path "C:\\Windows\\System\\$f")"
done

# The removal on both.
"$ovlsim" --machine "$machine" remove X1 >/dev/null
run_wine 'C:\windows\system\ovlcin00.exe' -action=64 -model=Sorrelink 640 -serial=X1 >/dev/null || true

standin=$wine_dir/agent-standin.reg
wine=$wine_dir/agent-wine.reg
: > "$standin"
: > "$wine"
for key in "${roots[@]}"; do
  "$ovlsim" --machine "$machine" reg export "HKEY_LOCAL_MACHINE\\$key" >> "$standin" 2>/dev/null || true
  part=$wine_dir/agent-part.reg
  rm -f "$part"
  "$(wine64_path)" regedit /E "Z:${part//\//\\}" "HKEY_LOCAL_MACHINE\\$key" >/dev/null 2>&1 || true
  [ -f "$part" ] && iconv -f UTF-16 -t UTF-8 "$part" >> "$wine" 2>/dev/null || cat "$part" >> "$wine" 2>/dev/null || true
done
diffs=$wine_dir/agent-differences.txt
{
  diff <(keys_of "$standin") <(keys_of "$wine") | grep '^[<>]' | sed 's/^</only on the stand-in: key/; s/^>/only under Wine: key/' || true
  diff <(renames_of "$machine/drive_c/Windows/wininit.ini") <(renames_of "$(prefix_path 'C:\Windows\wininit.ini')") |
    grep '^[<>]' | sed 's/^</only on the stand-in: rename/; s/^>/only under Wine: rename/' || true
} > "$diffs"
known=$root/scripts/wine/known-differences.txt
unexpected=$(grep -v -x -F -f <(grep -v '^#' "$known") "$diffs" || true)
echo "wine: agent removal: $(keys_of "$standin" | wc -l) keys left on the stand-in, $(wc -l < "$diffs") known differences"
sed 's/^/  /' "$diffs"
if [ -n "$unexpected" ]; then
  echo "wine: agent removal: unexpected differences:" >&2
  echo "$unexpected" >&2
  exit 1
fi
