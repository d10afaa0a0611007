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
source "$(dirname "$0")/seed.sh"
step=${1:?usage: agent.sh install|remove}
model='Sorrelink 640'
serial=X1
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

record_left "$wine_dir/agent-$step"
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
