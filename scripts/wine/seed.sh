# Moving a stand-in machine's state into a Wine prefix and reading it back:
# the family's keys (ovlsim reg export beside regedit /E) and the files of
# its drive C:. Sourced after common.sh by the scripts that compare the
# deliverables' work on both.
ovlsim=$root/build/default/bin/ovlsim
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
# lower case, the restore copy's tick count left out. Files the clean
# prefix already holds are Wine's own, not the family's (a prefix made
# where 32-bit Wine is installed holds windows/system/ddeml.dll and
# mmsystem.dll): they are left out on both sides.
files_of() {
  (cd "$1" && find . -type f) | sed 's|^\./||' | tr '[:upper:]' '[:lower:]' |
    grep -E '^(windows/system/|windows/inf/other/|orvane/|windows/system32/drivers/ovl)' |
    sed 's/[0-9]\{8\}\.ex_$/<ticks>.ex_/' | sort |
    grep -v -x -F -f <(cd "$wine_dir/prefix-clean/drive_c" && find . -type f | sed 's|^\./||' |
      tr '[:upper:]' '[:lower:]') || true
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
  local part=$wine_dir/export-part.reg
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
  local seed=$wine_dir/seed.reg file
  standin_export "$1" > "$seed"
  "$(wine64_path)" regedit /S "Z:${seed//\//\\}" >/dev/null 2>&1
  (cd "$1/drive_c" && find . -type f) | while read -r file; do
    target=$(prefix_path "C:${file#.}")
    mkdir -p "$(dirname "$target")"
    cp "$1/drive_c/$file" "$target"
  done
  for file in ovlcin00.exe ovlpom00.dll; do
    cp "$mingw_bin/$file" "$(prefix_path "C:\\Windows\\System\\$file")"
  done
}

# One side's result: lines "key ...", "value ...", "file ...", "rename ...".
result_of() {
  entries_of "$1" | sed 's/^\[[^]]*\]$/key &/; t; s/^/value /'
  sed 's/^/file /' <<< "$2"
  renames_of "$3" | sed 's/^/rename /'
}

# What the family left on both sides after a step, as result_of lines:
# $1-standin.txt from the stand-in machine $standin, $1-wine.txt from the
# prefix (each beside the registry export it was read from).
record_left() {
  local stem=$1
  standin_export "$standin" > "$stem-standin.reg"
  wine_export > "$stem-wine.reg"
  result_of "$stem-standin.reg" "$(files_of "$standin/drive_c")" \
    "$standin/drive_c/Windows/wininit.ini" > "$stem-standin.txt"
  result_of "$stem-wine.reg" "$(files_of "$WINEPREFIX/drive_c")" \
    "$(prefix_path 'C:\Windows\wininit.ini')" > "$stem-wine.txt"
}
