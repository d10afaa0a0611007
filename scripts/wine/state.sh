# What a machine holds, read the same way on the stand-in and in the Wine
# prefix, so that what a step changed can be compared: one line per key,
# value, folder and file, sorted.
#   key [HKEY_LOCAL_MACHINE\SOFTWARE\ORVANE]           every key and its parents
#   value [HKEY_...\X1] "CmdLine"="..."                 REGEDIT4 data (dword:, hex:, hex(N):)
#   folder windows/system                               below drive C:, in lower case
#   file windows/system/ovlcin00.exe <ovlcin00.exe> R   content (sha1) and attributes
# Key names are in upper case; the 8 digits of the restore copy's name (the
# tick count) read <ticks>; a file whose content is a deliverable's build
# reads as its name (the stand-in runs host builds, Wine the Windows ones);
# attributes are R, H and S ("-": none), not the archive bit, which Wine sets
# on every file. WININIT.INI is kept beside the state as text (.wininit),
# not as a file line: it is compared line by line, in order.
# Sourced after common.sh.

# The stand-in's programs: the host build, or another one (OVL_STANDIN_BIN,
# as scripts/wine/mutants.sh gives).
host_bin=${OVL_STANDIN_BIN:-$root/build/default/bin}
ovlsim=$host_bin/ovlsim
deliverables=(ovlcin00.exe ovlpom00.dll usbcheck98.exe)

# REGEDIT4 (ovlsim reg export) or the wine server's format (registry_save)
# as key and value lines; $2 names the root the wine server's file is
# relative to. Continued lines are joined first.
registry_lines() {
  tr -d '\r' < "$1" | sed -e ':a' -e '/\\$/N; s/\\\n *//; ta' | awk -v root="$2" '
    function emit_key(k,   parts, n, i, path) {
      n = split(k, parts, "\\")
      path = parts[1]
      for (i = 2; i <= n; i++) { path = path "\\" parts[i]; print "key [" path "]" }
      print "key [" parts[1] "]"
    }
    # The wine server writes REG_EXPAND_SZ and REG_MULTI_SZ as str(2):"..."
    # and str(7):"..."; REGEDIT4 as their ANSI bytes.
    function str_to_hex(type, text,   out, i, c) {
      out = "hex(" type "):"
      for (i = 1; i <= length(text); i++) {
        c = substr(text, i, 1)
        if (c == "\\") { i++; c = substr(text, i, 1); if (c == "0") { out = out "00,"; continue } }
        out = out sprintf("%02x,", ord[c])
      }
      return out "00"
    }
    BEGIN { for (i = 1; i < 256; i++) ord[sprintf("%c", i)] = i }
    /^#|^;|^WINE REGISTRY|^REGEDIT4/ { next }
    /^\[/ {
      k = $0
      if (root != "") { sub(/\] [0-9]+$/, "]", k); gsub(/\\\\/, "\\", k); sub(/^\[/, "[" root "\\", k) }
      k = toupper(substr(k, 2, length(k) - 2))
      # A control set saved under its number reads as the current one.
      sub(/\\SYSTEM\\CONTROLSET001(\\|$)/, "\\SYSTEM\\CURRENTCONTROLSET\\", k); sub(/\\$/, "", k)
      key = k; emit_key(k); next
    }
    /^("|@)/ && key != "" {
      line = $0
      if (match(line, /=str\([27]\):".*"$/)) {
        type = substr(line, RSTART + 5, 1)
        text = substr(line, RSTART + 8, RLENGTH - 9)
        line = substr(line, 1, RSTART) str_to_hex(type, text)
      }
      if (match(line, /=(dword|hex)[(:].*/)) line = substr(line, 1, RSTART) tolower(substr(line, RSTART + 1))
      print "value [" key "] " line
    }' | LC_ALL=C sort -u
}

# The restore copy's tick count left out of a lower-case path.
without_ticks() {
  sed 's/[0-9a-f]\{8\}\.ex_\( \|$\)/<ticks>.ex_\1/'
}

# "sha1 name" of each deliverable's build in folder $1.
deliverable_hashes() {
  local name
  for name in "${deliverables[@]}"; do
    [ -f "$1/$name" ] && echo "$(sha1sum < "$1/$name" | cut -d' ' -f1) <$name>"
  done
  return 0
}

# Folder and file lines from "path<TAB>sha1<TAB>attributes" lines (paths
# below drive C:), folder paths in $2; $1: the deliverables' hashes.
drive_lines() {
  awk -F'\t' -v builds="$1" -v folders="$2" '
    BEGIN {
      n = split(builds, b, "\n"); for (i = 1; i <= n; i++) { split(b[i], f, " "); token[f[1]] = f[2] }
      while ((getline line < folders) > 0) print "folder " tolower(line)
    }
    { h = ($2 in token) ? token[$2] : $2; print "file " tolower($1) " " h " " $3 }' |
    grep -v '^file windows/wininit.ini ' | without_ticks | LC_ALL=C sort
}

# A stand-in machine's state to $2.state and its WININIT.INI to $2.wininit.
standin_state() {
  local machine=$1 stem=$2 drive=$1/drive_c
  "$ovlsim" --machine "$machine" reg export > "$stem.regedit"
  (cd "$drive" && find . -mindepth 1 -type d | sed 's|^\./||') > "$stem.folders"
  (cd "$drive" && find . -type f | sed 's|^\./||' | sort) > "$stem.paths"
  # Attributes as the stand-in's programs see them; content from the host.
  sed 's|^|C:\\|; s|/|\\|g' "$stem.paths" |
    OVLSIM_MACHINE=$machine "$host_bin/file_attributes" | cut -d' ' -f1 | tr -d A | sed 's/^$/-/' > "$stem.attributes"
  (cd "$drive" && tr '\n' '\0' < "$stem.paths" | xargs -0 -r sha1sum | cut -d' ' -f1) > "$stem.hashes"
  {
    registry_lines "$stem.regedit" ""
    paste "$stem.paths" "$stem.hashes" "$stem.attributes" |
      drive_lines "$(deliverable_hashes "$host_bin")" "$stem.folders"
  } | LC_ALL=C sort -u > "$stem.state"
  wininit_text "$drive/Windows/wininit.ini" > "$stem.wininit"
}

# WININIT.INI as text: each line as it is, its line end shown, the tick count
# left out ("none" when there is no file).
wininit_text() {
  if [ -f "$1" ]; then sed 's/\r$/<CR>/' "$1" | sed 's/[0-9A-Fa-f]\{8\}\.\(EX_\|ex_\)/<ticks>.\1/g'; else echo none; fi
}

# The content of the prefix's files, remembered by path, size and time of
# change across the run (prefix.sh starts it afresh): only what the steps
# wrote is read again.
hash_cache=$wine_dir/drive-hashes.txt

# The prefix's state to $1.state and its WININIT.INI to $1.wininit.
wine_state() {
  local stem=$1 drive=$WINEPREFIX/drive_c
  save_registry "$stem.machine.reg" "$stem.user.reg"
  (cd "$drive" && find . -mindepth 1 -type d | sed 's|^\./||') > "$stem.folders"
  (cd "$drive" && find . -type f -printf '%P\t%s\t%T@\t%m\n') > "$stem.stat"
  touch "$hash_cache"
  # Files the cache does not know (new or written): read them now.
  awk -F'\t' -v cache="$hash_cache" '
    BEGIN { while ((getline line < cache) > 0) { split(line, f, "\t"); known[f[1] "\t" f[2] "\t" f[3]] = 1 } }
    !(($1 "\t" $2 "\t" $3) in known)' "$stem.stat" > "$stem.unknown"
  cut -f1 "$stem.unknown" | (cd "$drive" && tr '\n' '\0' | xargs -0 -r sha1sum) | cut -d' ' -f1 | tr -d '\\' |
    paste <(cut -f1-3 "$stem.unknown") - >> "$hash_cache"
  # Wine reads a file without write permission as read-only, a name that
  # starts with a dot as hidden.
  awk -F'\t' -v cache="$hash_cache" '
    BEGIN { while ((getline line < cache) > 0) { split(line, f, "\t"); hash[f[1] "\t" f[2] "\t" f[3]] = f[4] } }
    { a = ""; if (substr($4, length($4) - 2) !~ /[2367]/) a = "R"; n = split($1, p, "/"); if (p[n] ~ /^\./) a = a "H"
      print $1 "\t" hash[$1 "\t" $2 "\t" $3] "\t" (a == "" ? "-" : a) }' "$stem.stat" > "$stem.files"
  {
    registry_lines "$stem.machine.reg" HKEY_LOCAL_MACHINE
    registry_lines "$stem.user.reg" HKEY_CURRENT_USER
    drive_lines "$(deliverable_hashes "$mingw_bin")" "$stem.folders" < "$stem.files"
  } | LC_ALL=C sort -u > "$stem.state"
  wininit_text "$(prefix_path 'C:\Windows\wininit.ini')" > "$stem.wininit"
}

# What changed from state $1 to state $2: "+ line" added, "- line" removed
# (a changed value or file is both).
changes_of() {
  {
    LC_ALL=C comm -23 "$1.state" "$2.state" | sed 's/^/- /'
    LC_ALL=C comm -13 "$1.state" "$2.state" | sed 's/^/+ /'
  } | LC_ALL=C sort -k2
}
