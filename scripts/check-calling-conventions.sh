#!/usr/bin/env bash
# Checks, from the objects of a 32-bit Windows build, that every function
# Windows or the spooler calls through an address is stdcall with the
# argument size its prototype gives. A function of another convention
# behind a cast compiles, links and may even run (a caller that restores
# its stack from its frame pointer does not notice), so the objects are
# read:
#   - each entry that ovlpom00's InitializeMonitorEx (or FillMonitorTable,
#     when not inlined) stores in the MONITOR
#     table names a function decorated with the argument size of that
#     entry's prototype in portmon/monitor9x.h;
#   - every function whose address the deliverables' code takes and whose
#     parameters are a window or dialog procedure's (HWND, UINT, WPARAM,
#     LPARAM: C++ names carry their parameters) is stdcall with their size;
#   - the entry points InitializeMonitorEx, DllMain and WinMain are stdcall
#     with their prototypes' sizes.
# The sizes come from the compiler: a probe declares one function of each
# prototype and the decoration of its name tells the size.
# Usage: scripts/check-calling-conventions.sh BUILD_DIR   (a mingw-i686 build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: check-calling-conventions.sh BUILD_DIR}
objdump=i686-w64-mingw32-objdump
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail()
{
    echo "calling conventions: $*" >&2
    failures=$((failures + 1))
}

# "<store offset> <function>" for each store of a function's address
# ("movl $imm,OFF(%reg)" or "push $imm" with a 32-bit relocation), in the
# functions of the object whose names match the pattern $2 (all when empty). A relocation
# against a section stands for the function at the immediate's offset in
# that section. Only references to functions count (COFF type 0x20).
address_stores()
{
    local object=$1 only=${2:-}
    "$objdump" -t "$object" | awk '/\(ty +20\)/ { match($0, /\(sec +[0-9]+\)/);
        section = substr($0, RSTART + 4, RLENGTH - 5) + 0; print section, $(NF - 1), $NF }' > "$work/functions"
    "$objdump" -h "$object" | awk '$1 ~ /^[0-9]+$/ { print $1 + 1, $2 }' > "$work/sections"
    "$objdump" -dr "$object" | awk -v only="$only" -v functions="$work/functions" -v sections="$work/sections" '
        function strtonum(text,    sign, value, i) {
            sign = 1
            if (text ~ /^-/) { sign = -1; text = substr(text, 2) }
            sub(/^0x/, "", text)
            value = 0
            for (i = 1; i <= length(text); i++) value = value * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
            return sign * value
        }
        BEGIN {
            while ((getline line < functions) > 0) {
                split(line, f, " "); isfunction[f[3]] = 1; at[f[1] " " strtonum(f[2])] = f[3]
            }
            while ((getline line < sections) > 0) { split(line, s, " "); number[s[2]] = s[1] }
        }
        /^[0-9a-f]+ <.*>:$/ { current = substr($2, 2, length($2) - 3); next }
        /^ +[0-9a-f]+:/ && split($0, part, "\t") >= 3 { instruction = part[3]; next }
        $2 == "dir32" {
            if (only != "" && current !~ only) next
            target = $NF
            immediate = 0
            if (match(instruction, /\$0x[0-9a-f]+/)) immediate = strtonum(substr(instruction, RSTART + 1, RLENGTH - 1))
            if (target ~ /^\./) target = at[number[target] " " immediate]
            if (!(target in isfunction)) next
            offset = "-"
            if (match(instruction, /,(-?0x[0-9a-f]+)?\(%e[a-z]+\)$/)) {
                offset = substr(instruction, RSTART + 1, RLENGTH - 1); sub(/\(.*/, "", offset)
                offset = offset == "" ? 0 : strtonum(offset)
            }
            print offset, target
        }'
}

# The argument size a decorated name gives, or "cdecl" without one.
size_of()
{
    if [[ $1 =~ @([0-9]+)$ ]]; then echo "${BASH_REMATCH[1]}"; else echo cdecl; fi
}

# The probe: one function of each prototype, and the table filled with them.
fields=$(grep -o '(WINAPI \*pfn[A-Za-z]*)\|PFN_[A-Z_]* pfn[A-Za-z]*' portmon/monitor9x.h | grep -o 'pfn[A-Za-z]*')
{
    echo '#include "monitor9x.h"'
    echo '#include <type_traits>'
    echo 'extern "C" {'
    for field in $fields; do echo "std::remove_pointer_t<decltype(MONITOR::$field)> probe_$field;"; done
    echo 'std::remove_pointer_t<PFN_INITIALIZE_MONITOR_EX> probe_InitializeMonitorEx;'
    echo 'decltype(WinMain) probe_WinMain;'
    echo 'BOOL WINAPI probe_DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);'
    echo '}'
    # C++ names, as the deliverables' procedures have: they show the parameters.
    echo 'std::remove_pointer_t<WNDPROC> probe_WindowProcedure;'
    echo 'std::remove_pointer_t<DLGPROC> probe_DialogProcedure;'
    echo 'void probe_fill(MONITOR *monitor, void **others) {'
    for field in $fields; do echo "    monitor->$field = probe_$field;"; done
    # Far beyond the table, so that no offset is taken for an entry's.
    echo '    others[1000] = (void *)probe_InitializeMonitorEx; others[1001] = (void *)probe_WindowProcedure;'
    echo '    others[1002] = (void *)probe_DialogProcedure; others[1003] = (void *)probe_WinMain;'
    echo '    others[1004] = (void *)probe_DllMain;'
    echo '}'
} > "$work/probe.cpp"
i686-w64-mingw32-g++ -std=c++20 -O1 -fno-exceptions -Iportmon -c "$work/probe.cpp" -o "$work/probe.o"
declare -A table_size probe_size
"$objdump" -dr "$work/probe.o" | awk '$2 == "dir32" { print $NF }' > "$work/probe-symbols"
while read -r symbol; do
    name=$(sed 's/^_probe_//; s/^__Z[0-9]*probe_\([A-Za-z]*Procedure\).*/\1/; s/@.*//' <<<"$symbol")
    probe_size[$name]=$(size_of "$symbol")
done < "$work/probe-symbols"
# The mangled parameters of a window procedure, and of a dialog procedure.
window_parameters=$(grep -o 'probe_WindowProcedure[^@]*' "$work/probe-symbols" | sed 's/^probe_WindowProcedure//')
dialog_parameters=$(grep -o 'probe_DialogProcedure[^@]*' "$work/probe-symbols" | sed 's/^probe_DialogProcedure//')
while read -r offset symbol; do
    table_size[$offset]=$(size_of "$symbol")
done < <(address_stores "$work/probe.o" | sort -u)

# The monitor's table.
monitor=$build/portmon/CMakeFiles/ovlpom00.dir/monitor.cpp.obj
stored=0
while read -r offset symbol; do
    stored=$((stored + 1))
    expected=${table_size[$offset]:-}
    if [ -z "$expected" ]; then
        fail "ovlpom00: the table's filling stores $symbol at offset $offset, no entry of MONITOR"
    elif [ "$(size_of "$symbol")" != "$expected" ]; then
        fail "ovlpom00: the MONITOR entry at offset $offset is $symbol ($(size_of "$symbol")), its prototype takes stdcall @$expected"
    fi
done < <(address_stores "$monitor" "InitializeMonitorEx|FillMonitorTable" | sort -u)
[ "$stored" -gt 0 ] || fail "ovlpom00: no MONITOR entries found where the table is filled"

# Every function handed out as a window or dialog procedure.
procedures=0
for object in $(find "$build/portmon" "$build/installer" "$build/usbcheck" "$build/wincrt" -name '*.obj' | sort); do
    while read -r offset symbol; do
        case ${symbol%@*} in
        *"$window_parameters") expected=${probe_size[WindowProcedure]} ;;
        *"$dialog_parameters") expected=${probe_size[DialogProcedure]} ;;
        *) continue ;;
        esac
        procedures=$((procedures + 1))
        if [ "$(size_of "$symbol")" != "$expected" ]; then
            fail "$(basename "$object" .obj): $symbol, a window or dialog procedure, is $(size_of "$symbol"), its prototype takes stdcall @$expected"
        fi
    done < <(address_stores "$object" | sort -u)
done
[ "$procedures" -gt 0 ] || fail "no window or dialog procedure found"

# The entry points, defined with their prototypes' decorations.
defined()
{
    find "$build/$1" -name '*.obj' -exec "$objdump" -t {} + | awk '/\(sec +[1-9][0-9]*\).*\(ty +20\)/ { print $NF }'
}
check_entry()
{
    local folder=$1 name=$2 expected="_$2@${probe_size[$2]}"
    if ! defined "$folder" | grep -qx "$expected"; then
        fail "$folder: $name is not defined as $expected (found: $(defined "$folder" | grep -E "^_+$name(@|$)" || echo nothing))"
    fi
}
check_entry portmon InitializeMonitorEx
check_entry portmon DllMain
check_entry installer WinMain
check_entry usbcheck WinMain

[ "$failures" -eq 0 ] || { echo "calling conventions: $failures check(s) failed" >&2; exit 1; }
echo "calling conventions: the MONITOR table's $stored functions, $procedures window and dialog procedures and the entry points are stdcall with their prototypes' sizes"
