# Scenarios taken step by step on the stand-in and under Wine from one
# start, and what each step changed on each side compared. A scenario
# begins with a stand-in machine: a fresh prefix is given everything that
# machine holds beyond a new one (keys and values, files with their
# read-only attribute, WININIT.INI). Each step is then taken on both: the
# agent's install (the driver's part of the plug made on the stand-in and
# carried into the prefix, then the agent), the agent's removal, or the
# wizard following a script. After each step the changes on each side
# (scripts/wine/state.sh, less scripts/wine/masks.txt) are compared, and so
# are WININIT.INI as text and the wizard's transcript; whatever differs and
# scripts/wine/known-differences.txt does not list fails the scenario.
# Sourced after common.sh.
source "$(dirname "${BASH_SOURCE[0]}")/state.sh"
masks=$root/scripts/wine/masks.txt
known=$root/scripts/wine/known-differences.txt
scenarios_dir=$wine_dir/scenarios
failures=0

# A new stand-in machine without the desktop shell, as under Wine (an
# install then leaves its RunOnce value on both).
new_machine() {
  rm -rf "$1" "$1".*
  "$ovlsim" --machine "$1" init >/dev/null
  "$ovlsim" --machine "$1" shell stop >/dev/null
}

# The state of a new machine, the base every start is carried in from.
empty_state() {
  local empty=$wine_dir/empty-machine
  if [ ! -f "$empty.state" ]; then
    new_machine "$empty"
    standin_state "$empty" "$empty"
  fi
  echo "$empty"
}

# The files of a stand-in state as "path<TAB>sha1<TAB>attributes", real names.
raw_files() {
  paste "$1.paths" "$1.hashes" "$1.attributes"
}

# Carries what changed from stand-in state $1 to state $2 (of machine $3)
# into the prefix: keys and values through regedit (deleted ones first,
# then every value of an added or changed key, in the machine's spelling),
# files copied with their read-only attribute (a deliverable's build as
# its Windows build) or deleted, WININIT.INI as it is.
carry_into_prefix() {
  local from=$1 to=$2 machine=$3 reg=$wine_dir/carry.reg path hash attributes build target
  changes_of "$from" "$to" > "$to.carried"
  {
    printf 'REGEDIT4\r\n\r\n'
    awk '/^- key / { print "[-" substr($0, 8) "\r\n" }' "$to.carried"
    awk 'NR == FNR { if ($0 ~ /^key /) alive[$0] = 1; next }
      /^- value / {
        k = $0; sub(/^- value /, "", k); sub(/\] .*/, "]", k)
        if (!(("key " k) in alive)) next
        v = $0; sub(/^- value \[[^]]*\] /, "", v); sub(/=.*/, "", v)
        print k "\r\n" v "=-\r\n\r\n" }' "$to.state" "$to.carried"
    awk 'NR == FNR { if (sub(/^\+ (key|value) \[/, "")) { sub(/\].*/, ""); touched[$0] = 1 }; next }
      /^\[/ { keep = (toupper(substr($0, 2, length($0) - 2)) in touched) }
      keep' "$to.carried" <(tr -d '\r' < "$to.regedit") | sed 's/$/\r/'
  } > "$reg"
  run_wine regedit /S "$(wine_path_of "$reg")" >/dev/null
  sed 's|^|C:\\|' "$to.folders" | while IFS= read -r path; do prefix_path "$path"; done | tr '\n' '\0' |
    xargs -0 -r mkdir -p
  local -A build_of=()
  while read -r hash build; do
    build_of[$hash]=${build:1:-1}
  done < <(deliverable_hashes "$host_bin")
  # Files gone or changed go first; then the new and changed ones come.
  LC_ALL=C comm -23 <(raw_files "$from" | sort) <(raw_files "$to" | sort) | cut -f1 | while IFS= read -r path; do
    rm -f "$(prefix_path "C:\\$path")"
  done
  LC_ALL=C comm -13 <(raw_files "$from" | sort) <(raw_files "$to" | sort) |
    while IFS=$'\t' read -r path hash attributes; do
      target=$(prefix_path "C:\\$path")
      build=${build_of[$hash]:-}
      if [ -n "$build" ]; then
        cp --remove-destination "$mingw_bin/$build" "$target"
      else
        cp --remove-destination "$machine/drive_c/$path" "$target"
      fi
      # Wine reads a file nobody may write to as read-only.
      case $attributes in *R*) chmod a-w "$target" ;; *) chmod u+w "$target" ;; esac
    done
  local wininit
  wininit=$(prefix_path 'C:\Windows\wininit.ini')
  if [ -f "$machine/drive_c/Windows/wininit.ini" ]; then
    cp --remove-destination "$machine/drive_c/Windows/wininit.ini" "$wininit"
  else
    rm -f "$wininit"
  fi
}

# Starts scenario $1 from stand-in machine $2: a fresh prefix carried in.
begin_scenario() {
  scenario=$1
  scenario_dir=$scenarios_dir/$scenario
  rm -rf "$scenario_dir"
  mkdir -p "$scenario_dir"
  step=0
  # Steps copy the machine before they change it: the start serves as it is,
  # its state read once for all the scenarios that share it.
  current=$2
  [ -f "$current.state" ] || standin_state "$current" "$current"
  fresh_prefix
  carry_into_prefix "$(empty_state)" "$current" "$current"
  wine_now=$scenario_dir/0-wine
  wine_state "$wine_now"
}

# The lines of a file less those a mask (masks.txt: "<ERE> -- <reason>") matches.
unmasked() {
  grep -v -E -f <(grep -v -e '^#' -e '^$' "$masks" | sed 's/ -- .*//') "$1" || true
}

# Compares step $step ($1: its kind, "install", "remove" or "wizard"; $2, $3:
# the printer's model and serial number) from the stand-in's states $4 to
# $5 and the prefix's $6 to $7; $8, $9: the transcripts, if any.
compare_step() {
  local kind=$1 model=$2 serial=$3 stem=$scenario_dir/$step
  changes_of "$4" "$5" > "$stem-standin.all"
  changes_of "$6" "$7" > "$stem-wine.all"
  unmasked "$stem-standin.all" > "$stem-standin.changes"
  unmasked "$stem-wine.all" > "$stem-wine.changes"
  {
    diff "$stem-standin.changes" "$stem-wine.changes" | grep '^[<>]' |
      sed "s/^</$kind: only on the stand-in:/; s/^>/$kind: only under Wine:/"
    diff "$5.wininit" "$7.wininit" | grep '^[<>]' |
      sed "s/^</$kind: only on the stand-in: wininit.ini:/; s/^>/$kind: only under Wine: wininit.ini:/"
    [ -z "${8:-}" ] || diff "$8" "$9" | grep '^[<>]' |
      sed "s/^</$kind: only on the stand-in: transcript:/; s/^>/$kind: only under Wine: transcript:/"
  } > "$stem-differences.txt" || true
  # The known differences, with this step's printer in them.
  local suffix=${model#Sorrelink }
  grep -v -e '^#' -e '^$' "$known" |
    sed "s/{SERIAL}/$serial/g; s/{MODEL}/$model/g; s/{SUFFIX}/${suffix^^}/g" > "$stem-known.txt"
  local unexpected
  unexpected=$(grep -v -x -F -f "$stem-known.txt" "$stem-differences.txt" || true)
  echo "wine: $scenario: step $step, $kind $serial: $(wc -l < "$stem-standin.changes") changes on the" \
    "stand-in, $(wc -l < "$stem-differences.txt") differences, $(grep -c . <<< "$unexpected" || true) unexpected"
  sed 's/^/  /' "$stem-differences.txt"
  if [ -n "$unexpected" ]; then
    echo "wine: $scenario: step $step: unexpected differences:" >&2
    sed 's/^/  /' <<< "$unexpected" >&2
    failures=$((failures + 1))
  fi
}

# The step taken: the stand-in's machine $1 and the prefix become the
# current state.
step_taken() {
  current=$1
  wine_now=$2
}

# Runs the agent with action $1 for printer $3 of model $2 on the stand-in
# machine $4 and under Wine, as the class installer starts it. The model's
# words go apart: the command line then reads as the class installer's,
# without quotes.
run_agents() {
  # shellcheck disable=SC2086
  OVLSIM_MACHINE=$4 "$host_bin/ovlcin00.exe" -action=$1 -model=$2 -serial=$3 >/dev/null || true
  # shellcheck disable=SC2086
  run_wine 'C:\windows\system\ovlcin00.exe' -action=$1 -model=$2 -serial=$3 >/dev/null || true
}

# The agent's install of printer $2 of model $1. A printer the machine does
# not know yet is first announced: the driver's part of the plug, made on
# the stand-in and carried into the prefix.
install_step() {
  local model=$1 serial=$2
  step=$((step + 1))
  local after=$scenario_dir/$step-standin before=$current wine_before=$wine_now
  if ! awk -v s="${serial^^}" 'index($0, "key [HKEY_LOCAL_MACHINE\\ENUM\\USB\\") == 1 &&
      substr($0, length($0) - length(s) - 1) == "\\" s "]" { found = 1 } END { exit !found }' "$current.state"; then
    before=$scenario_dir/$step-announced
    cp -a "$current" "$before"
    "$ovlsim" --machine "$before" plug "$model" "$serial" --without-agent >/dev/null
    standin_state "$before" "$before"
    carry_into_prefix "$current" "$before" "$before"
    wine_before=$scenario_dir/$step-wine-announced
    wine_state "$wine_before"
  fi
  cp -a "$before" "$after"
  run_agents 2 "$model" "$serial" "$after"
  standin_state "$after" "$after"
  wine_state "$scenario_dir/$step-wine"
  compare_step install "$model" "$serial" "$before" "$after" "$wine_before" "$scenario_dir/$step-wine"
  step_taken "$after" "$scenario_dir/$step-wine"
}

# The agent's removal (action 64) of printer $2 of model $1.
remove_step() {
  local model=$1 serial=$2
  step=$((step + 1))
  local after=$scenario_dir/$step-standin
  cp -a "$current" "$after"
  run_agents 64 "$model" "$serial" "$after"
  standin_state "$after" "$after"
  wine_state "$scenario_dir/$step-wine"
  compare_step remove "$model" "$serial" "$current" "$after" "$wine_now" "$scenario_dir/$step-wine"
  step_taken "$after" "$scenario_dir/$step-wine"
}

# The wizard through script $1 (the printer it concerns: model $2, serial $3,
# for the known differences).
wizard_step() {
  local script=$1 model=$2 serial=$3
  step=$((step + 1))
  local after=$scenario_dir/$step-standin stem=$scenario_dir/$step
  cp -a "$current" "$after"
  "$ovlsim" --machine "$after" usbcheck --script "$script" --transcript "$stem-standin.transcript" \
    >"$stem-standin.screens"
  standin_state "$after" "$after"
  # The wizard lies in C:\Windows\System, beside the agent it starts, only
  # for its run (on the stand-in it runs as its host build).
  local wizard driver=0
  wizard=$(prefix_path 'C:\Windows\System\usbcheck98.exe')
  cp "$mingw_bin/usbcheck98.exe" "$wizard"
  cp "$script" "$stem.script"
  run_wine "$mingw_bin/wizard_driver.exe" 'C:\windows\system\usbcheck98.exe' \
    "$(wine_path_of "$stem.script")" > "$stem-wine.transcript" || driver=$?
  rm -f "$wizard"
  wine_state "$stem-wine"
  if [ "$driver" -ne 0 ]; then
    echo "wine: $scenario: the wizard driver stopped (status $driver) after:" >&2
    tail -n 3 "$stem-wine.transcript" >&2
    failures=$((failures + 1))
  fi
  compare_step wizard "$model" "$serial" "$current" "$after" "$wine_now" "$stem-wine" \
    "$stem-standin.transcript" "$stem-wine.transcript"
  step_taken "$after" "$stem-wine"
}

# A stand-in machine $1 with printers installed: "MODEL SERIAL" arguments.
machine_with() {
  local machine=$1 printer
  shift
  new_machine "$machine"
  for printer in "$@"; do
    "$ovlsim" --machine "$machine" plug "${printer% *}" "${printer##* }" >/dev/null
  done
}
