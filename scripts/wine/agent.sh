#!/usr/bin/env bash
# The agent's install (scripts/wine/agent.sh install) or its removal of the
# last printer (scripts/wine/agent.sh remove), on the stand-in and under
# Wine, from the same start. The start is a stand-in machine: for the
# install one where "ovlsim plug --without-agent" announced the printer, for
# the removal one where "ovlsim plug" installed it. A fresh prefix gets the
# family's keys of that machine and its files (the agent and the monitor as
# their Windows builds); the stand-in takes the same step on its machine.
# Afterwards the family's keys and values (regedit /E beside ovlsim reg
# export), the family's files and the rename section of wininit.ini are
# compared; the differences listed in known-differences.txt are expected,
# every other one fails.
source "$(dirname "$0")/common.sh"
step=${1:?usage: agent.sh install|remove}
ovlsim=$root/build/default/bin/ovlsim
model='Sorrelink 640'
serial=X1
roots=(
  'Software\Orvane'
  'Software\Microsoft\Windows\CurrentVersion\RunOnce'
  'System\CurrentControlSet\Control\Print\Monitors\X1'
  'System\CurrentControlSet\Control\DeviceClasses\{7c2e5a10-3b4f-4d6a-9e21-5f8c0b1d2e3a}'
  'System\CurrentControlSet\Services\Class\{7c2e5a10-3b4f-4d6a-9e21-5f8c0b1d2e3a}'
  'System\CurrentControlSet\Services\Class\USB Sorrelink'
  'System\CurrentControlSet\Services\Ovlion00'
  'Enum\USB\VID_7E51&PID_0114'
)

# Every key of a REGEDIT file, and every value as "[key] value", one a line:
# continued lines joined, key names in upper case, sorted.
entries_of() {
  tr -d '\r' < "$1" | sed -e ':a' -e '/\\$/N; s/\\\n *//; ta' | awk '
    /^\[/ { key = toupper($0); print key; next }
    /^"|^@/ && key != "" { print key " " $0 }' | sort -u
}

# The rename section's entries, the restore copy's tick count left out.
renames_of() {
  [ -f "$1" ] || return 0
  tr -d '\r' < "$1" | sed -n '/^\[rename\]/I,/^\[/p' | grep '=' | tr '[:lower:]' '[:upper:]' |
    sed 's/[0-9]\{8\}\.EX_/<TICKS>.EX_/' | sort
}

# The family's files below a drive C: (its own folders, its drivers), in
# lower case, the restore copy's tick count left out.
files_of() {
  (cd "$1" && find . -type f) | sed 's|^\./||' | tr '[:upper:]' '[:lower:]' |
    grep -E '^(windows/system/|windows/inf/other/|orvane/|windows/system32/drivers/ovl)' |
    sed 's/[0-9]\{8\}\.ex_$/<ticks>.ex_/' | sort
}

# The family's keys of a stand-in machine, as one REGEDIT4 file.
standin_export() {
  printf 'REGEDIT4\r\n\r\n'
  for key in "${roots[@]}"; do
    "$ovlsim" --machine "$1" reg export "HKEY_LOCAL_MACHINE\\$key" 2>/dev/null | tail -n +2 | sed 's/$/\r/' || true
  done
}

# The family's keys in the prefix, as one file.
wine_export() {
  local part=$wine_dir/agent-part.reg
  echo 'REGEDIT4'
  for key in "${roots[@]}"; do
    rm -f "$part"
    "$(wine64_path)" regedit /E "Z:${part//\//\\}" "HKEY_LOCAL_MACHINE\\$key" >/dev/null 2>&1 || true
    [ -f "$part" ] && iconv -f UTF-16 -t UTF-8 "$part" | tail -n +2
  done
  rm -f "$part"
}

# The prefix made as the stand-in machine is: its family's keys and files.
seed_prefix() {
  local seed=$wine_dir/agent-seed.reg file
  standin_export "$1" > "$seed"
  "$(wine64_path)" regedit /S "Z:${seed//\//\\}" >/dev/null 2>&1
  (cd "$1/drive_c" && find . -type f) | while read -r file; do
    target=$(prefix_path "C:${file#.}")
    mkdir -p "$(dirname "$target")"
    cp "$1/drive_c/$file" "$target"
  done
  for file in ovlcin00.exe ovlpom00.dll; do
    cp "$root/build/mingw-x86_64/bin/$file" "$(prefix_path "C:\\Windows\\System\\$file")"
  done
}

# One side's result: lines "key ...", "value ...", "file ...", "rename ...".
result_of() {
  entries_of "$1" | sed 's/^\[[^]]*\]$/key &/; t; s/^/value /'
  sed 's/^/file /' <<< "$2"
  renames_of "$3" | sed 's/^/rename /'
}

start=$wine_dir/agent-$step-start
standin=$wine_dir/agent-$step-standin
rm -rf "$start" "$standin"
# No desktop shell, as under Wine: the install then leaves its RunOnce value.
new_machine() {
  "$ovlsim" --machine "$1" init >/dev/null
  "$ovlsim" --machine "$1" shell stop >/dev/null
}
new_machine "$start"
if [ "$step" = install ]; then
  "$ovlsim" --machine "$start" plug "$model" "$serial" --without-agent >/dev/null
  # The stand-in's install: the same plug with the class installer's agent.
  new_machine "$standin"
  "$ovlsim" --machine "$standin" plug "$model" "$serial" >/dev/null
  action=2
else
  "$ovlsim" --machine "$start" plug "$model" "$serial" >/dev/null
  cp -a "$start" "$standin"
  "$ovlsim" --machine "$standin" remove "$serial" >/dev/null
  action=64
fi

fresh_prefix
seed_prefix "$start"
# The model's words passed apart: the command line then reads as the class
# installer's, without quotes.
run_wine 'C:\windows\system\ovlcin00.exe' -action=$action -model=$model -serial=$serial >/dev/null || true

standin_export "$standin" > "$wine_dir/agent-$step-standin.reg"
wine_export > "$wine_dir/agent-$step-wine.reg"
result_of "$wine_dir/agent-$step-standin.reg" "$(files_of "$standin/drive_c")" \
  "$standin/drive_c/Windows/wininit.ini" > "$wine_dir/agent-$step-standin.txt"
result_of "$wine_dir/agent-$step-wine.reg" "$(files_of "$WINEPREFIX/drive_c")" \
  "$(prefix_path 'C:\Windows\wininit.ini')" > "$wine_dir/agent-$step-wine.txt"
diffs=$wine_dir/agent-$step-differences.txt
diff "$wine_dir/agent-$step-standin.txt" "$wine_dir/agent-$step-wine.txt" | grep '^[<>]' |
  sed "s/^</$step: only on the stand-in:/; s/^>/$step: only under Wine:/" > "$diffs" || true
known=$root/scripts/wine/known-differences.txt
unexpected=$(grep -v -x -F -f <(grep -v -e "^#" -e "^$" "$known") "$diffs" || true)
echo "wine: agent $step: $(wc -l < "$wine_dir/agent-$step-standin.txt") keys, values, files and renames" \
  "on the stand-in, $(wc -l < "$diffs") known differences"
sed 's/^/  /' "$diffs"
if [ -n "$unexpected" ]; then
  echo "wine: agent $step: unexpected differences:" >&2
  echo "$unexpected" >&2
  exit 1
fi
