#!/usr/bin/env bash
# Proves that the comparison with Wine catches what it is meant to catch:
# builds the stand-in again with one deliberate difference at a time (on a
# copy of the sources under build/mutants; the tree stays as it is), runs
# the Wine scenarios that would show it with that stand-in, and checks that
# they fail naming the difference. Run by hand (each mutant is a build):
#   scripts/wine/mutants.sh [NAME...]
# Needs the builds and a prefix from `scripts/test.sh wine` (or
# scripts/wine/prefix.sh).
source "$(dirname "$0")/common.sh"
cd "$root"
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_NOHASHDIR=1
work=$root/build/mutants
trap '"$(wineserver_path)" -k 2>/dev/null || true' EXIT
# name | file | perl substitution | scenario (agent.sh NAME or "wizard") | what the failure must name
# (fields hold no "|")
mutants=(
  'value-changed|win9x/advapi32/registry.cpp|s{(Lookup stored =\s*\n\s*win9x::registry::SetValue\(\*view.Store\(\), key, lpValueName \? lpValueName : "", dwType, )lpData(, cbData\);)}{std::string changed(reinterpret_cast<const char *>(lpData), cbData);\n        if (lpValueName && std::strcmp(lpValueName, "RunOnce") == 0 && cbData > 1)\n            changed[0] ^= 1;\n        $1reinterpret_cast<const BYTE *>(changed.data())$2}|installs|"RunOnce"="B:'
  'extra-value|win9x/advapi32/registry.cpp|s{(    if \(!lpData && cbData\)\n        return ERROR_INVALID_PARAMETER;\n    if \(\(lpValueName)}{    if (lpValueName && std::strcmp(lpValueName, "CmdLine") == 0) {\n        HKEY unrelated = nullptr;\n        if (RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\\\Unrelated", &unrelated) == ERROR_SUCCESS) {\n            RegSetValueExA(unrelated, "Extra", 0, REG_SZ, reinterpret_cast<const BYTE *>("x"), 2);\n            RegCloseKey(unrelated);\n        }\n    }\n$1}|installs|SOFTWARE\UNRELATED'
  'file-left|win9x/kernel32/files.cpp|s{(BOOL WINAPI DeleteFileA\(LPCSTR lpFileName\)\n\{\n)}{$1    if (lpFileName && std::string(lpFileName).find(".inf") != std::string::npos)\n        return TRUE;\n}|two-models-X1-X2|windows/inf/other/orvaneovl64098.inf'
  'read-only-ignored|win9x/kernel32/files.cpp|s{(BOOL WINAPI SetFileAttributesA\(LPCSTR lpFileName, DWORD dwFileAttributes\)\n\{\n)}{$1    DWORD before = GetFileAttributesA(lpFileName);\n    if (before != INVALID_FILE_ATTRIBUTES && (before & FILE_ATTRIBUTE_READONLY) &&\n        !(dwFileAttributes & FILE_ATTRIBUTE_READONLY))\n        dwFileAttributes += FILE_ATTRIBUTE_READONLY;\n}|replug-X1|ovlion00.sys'
  'more-data-122|win9x/advapi32/registry.cpp|s{(if \(\*lpcbData < size\) \{\n\s*\*lpcbData = size;\n\s*return static_cast<LONG>\()ERROR_MORE_DATA}{$1ERROR_INSUFFICIENT_BUFFER}|installs|only on the stand-in'
  'rename-order|win9x/kernel32/ini_file.cpp|s{(first = lines_.erase\(first, last\);\n\s*lines_.insert\(first, lines.)begin\(\), lines.end\(\)\);}{$1rbegin(), lines.rend());}|replug-X1|wininit.ini'
)

# A copy of the sources as the tree has them now (what git knows of it):
# made once, then only the files that differ copied again, so that its
# build redoes only what a mutant touches.
copy_sources() {
  local file
  if [ ! -d "$work/src" ]; then
    mkdir -p "$work/src"
    git ls-files -z | tar --null -T - -cf - | tar -C "$work/src" -xf -
    return
  fi
  git ls-files | while IFS= read -r file; do
    cmp -s "$file" "$work/src/$file" || cp "$file" "$work/src/$file"
  done
}

caught=0
missed=0
for mutant in "${mutants[@]}"; do
  IFS='|' read -r name file change scenario naming <<< "$mutant"
  [ $# -eq 0 ] || [[ " $* " == *" $name "* ]] || continue
  copy_sources
  perl -0pi -e "$change" "$work/src/$file" || true
  if cmp -s "$root/$file" "$work/src/$file"; then
    echo "mutants: $name: the change does not apply to $file" >&2
    missed=$((missed + 1))
    continue
  fi
  if ! (cd "$work/src" && cmake --preset default >/dev/null &&
    cmake --build --preset default -j "$(nproc)" --target ovlsim ovlcin00 ovlpom00 ovlsetup usbcheck98 file_attributes \
      >"$work/$name-build.log" 2>&1); then
    echo "mutants: $name: the build failed (see $work/$name-build.log)" >&2
    missed=$((missed + 1))
    continue
  fi
  log=$work/$name.log
  status=0
  if [ "$scenario" = wizard ]; then
    OVL_STANDIN_BIN=$work/src/build/default/bin scripts/wine/wizard.sh >"$log" 2>&1 || status=$?
  else
    OVL_STANDIN_BIN=$work/src/build/default/bin scripts/wine/agent.sh "$scenario" >"$log" 2>&1 || status=$?
  fi
  if [ "$status" -ne 0 ] && sed -n '/unexpected differences:/,$p' "$log" | grep -q -F -- "$naming"; then
    echo "mutants: $name: caught by $scenario:"
    sed -n '/unexpected differences:/,/^wine: /p' "$log" | grep -F -- "$naming" | head -n 2 | sed 's/^ */  /'
    caught=$((caught + 1))
  else
    echo "mutants: $name: MISSED by $scenario (status $status, see $log)" >&2
    missed=$((missed + 1))
  fi
done
echo "mutants: $caught caught, $missed missed"
[ "$missed" -eq 0 ]
