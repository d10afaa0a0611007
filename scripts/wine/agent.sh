#!/usr/bin/env bash
# The agent's install and removal on the stand-in and under Wine, step by
# step from one start per scenario (scripts/wine/seed.sh): what each step
# changed anywhere on each side must agree but for the differences
# known-differences.txt lists. `agent.sh NAME...` runs only the scenarios
# named.
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/seed.sh"
a='Sorrelink 640'
b='Sorrelink 880'
starts=$wine_dir/starts
mkdir -p "$starts"
wanted() {
  [ $# -eq 0 ] || [[ " $* " == *" $scenario_name "* ]]
}

# Printers announced (not installed): model 640, serial X1, as it comes;
# then one per long value ("NAME:LENGTH" arguments), model 64N and serial XN
# from N = 2, its model's value NAME set to LENGTH characters.
installs_start() {
  local machine=$starts/installs n=1 value name length text
  new_machine "$machine"
  "$ovlsim" --machine "$machine" plug "$a" X1 --without-agent >/dev/null
  {
    echo REGEDIT4
    for value in "$@"; do
      n=$((n + 1))
      name=${value%:*}
      length=${value#*:}
      "$ovlsim" --machine "$machine" plug "Sorrelink 64$n" "X$n" --without-agent >/dev/null
      if [ "$name" = SetupRootPath ]; then
        text='C:\\ORVANE\\'$(printf '%*s' $((length - 10)) '' | tr ' ' 'L')
      else
        text=$(printf '%*s' "$length" '' | tr ' ' 'L')
      fi
      printf '\n[HKEY_LOCAL_MACHINE\\Software\\Orvane\\OVLIO\\64%s]\n"%s"="%s"\n' "$n" "$name" "$text"
    done
  } > "$machine.reg"
  "$ovlsim" --machine "$machine" reg import "$machine.reg" >/dev/null
}

machine_with "$starts/one" "$a X1"
machine_with "$starts/two-models" "$a X1" "$b X2"
machine_with "$starts/one-model" "$a X1" "$a X2"
machine_with "$starts/three" "$a X1" "$b X2" "$a X3"

for order in "X1 X2" "X2 X1"; do
  scenario_name=two-models-${order// /-}
  wanted "$@" || continue
  begin_scenario "$scenario_name" "$starts/two-models"
  for serial in $order; do
    if [ "$serial" = X1 ]; then remove_step "$a" X1; else remove_step "$b" X2; fi
  done
done
for serial in X1 X2; do
  scenario_name=one-model-$serial
  wanted "$@" || continue
  begin_scenario "$scenario_name" "$starts/one-model"
  remove_step "$a" "$serial"
done
scenario_name=three-middle
if wanted "$@"; then
  begin_scenario three-middle "$starts/three"
  remove_step "$b" X2
fi
# Removed, then plugged in again before the restart.
for serial in X1 X2; do
  scenario_name=replug-$serial
  wanted "$@" || continue
  begin_scenario "$scenario_name" "$starts/one"
  remove_step "$a" X1
  install_step "$a" "$serial"
done
# Installs one after the other from one start: a printer as it comes, then
# one per model value at and beyond its limits.
long_values=(SetupRootPath:258 SetupRootPath:259 SetupRootPath:300 SetupParameters:300 ExecFile:300
  SetupExecFile:300)
scenario_name=installs
if wanted "$@"; then
  installs_start "${long_values[@]}"
  begin_scenario installs "$starts/installs"
  install_step "$a" X1
  for n in $(seq 2 $((${#long_values[@]} + 1))); do
    install_step "Sorrelink 64$n" "X$n"
  done
fi

if [ "$failures" -ne 0 ]; then
  echo "wine: agent: $failures steps with unexpected differences" >&2
  exit 1
fi
