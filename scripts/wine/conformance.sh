#!/usr/bin/env bash
# The conformance suite under Wine, from C:\WINDOWS\CONFORM.EXE.
source "$(dirname "$0")/common.sh"
cp "$mingw_bin/conformance.exe" "$(prefix_path 'C:\Windows\CONFORM.EXE')"
out=$wine_dir/conformance.txt
run_wine 'C:\windows\CONFORM.EXE' > "$out" || true
grep -v ': Wine differs from Windows 98: ' "$out" | grep -v '^conformance: ' || true
marks=$(grep -c ': Wine differs from Windows 98: ' "$out" || true)
echo "wine: conformance: $marks Wine marks met: $(grep ': Wine differs from Windows 98: ' "$out" |
  sed 's/.*: Wine differs from Windows 98: //' | sort -u | wc -l) known differences"
tail -1 "$out"
tail -1 "$out" | grep -q ' 0 failed$'
