#!/usr/bin/env bash
# Builds the three deliverables for Windows with MinGW (32-bit, the shipping
# target, and 64-bit, which Wine runs) and checks that every file is one
# Windows 98 can load:
#   - it imports only what its allowlist (<folder>/<name>.imports) names,
#     by name, and delay-loads nothing;
#   - it has no thread-local storage (a library loaded with LoadLibrary, as
#     the spooler loads the monitor, cannot have any before Windows Vista);
#   - it asks for no Windows and no subsystem above 4.0;
#   - it is stripped and carries a version resource with the project's
#     version and its own file name;
#   - ovlpom00.dll exports InitializeMonitorEx alone;
#   - in the 32-bit build, no instruction of a processor later than the 486
#     (conditional moves, fcomi, rdtsc, cmpxchg8b, ud2, MMX and SSE, ...):
#     Windows 98 runs on a 486, and no test runs the code on one;
#   - in the 32-bit build, the functions Windows and the spooler call through
#     an address are stdcall with their prototypes' argument sizes
#     (scripts/check-calling-conventions.sh).
# Usage: scripts/build-windows.sh [i686|x86_64]...   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowlist=([ovlpom00.dll]=portmon/ovlpom00.imports [ovlcin00.exe]=installer/ovlcin00.imports
                      [usbcheck98.exe]=usbcheck/usbcheck98.imports)
failures=0

fail()
{
    echo "build-windows: $*" >&2
    failures=$((failures + 1))
}

# "LIBRARY function" for every import, the library in capitals; an import
# by ordinal shows as "<none>" and so matches no allowlist entry.
imports()
{
    "$objdump" -p "$1" | awk '
        /^\tDLL Name: / { library = toupper($3); next }
        library != "" && /^\tvma:/ { next }
        library != "" && NF == 0 { library = ""; next }
        library != "" { print library, $NF }'
}

# The entries of an allowlist, without comments and blank lines.
allowed()
{
    sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$1"
}

# The header value of a field of objdump -p ("MajorOSystemVersion" ...).
header_value()
{
    awk -v field="$2" '$1 == field { print $2; exit }' <<<"$1"
}

# Fails a directory entry of the header that is not empty.
check_no_directory()
{
    local file=$1 header=$2 entry=$3 what=$4
    local line
    line=$(grep -E "^Entry $entry " <<<"$header" || true)
    if ! [[ $line =~ ^Entry\ $entry\ 0+\ 0+\  ]]; then
        fail "$file: has a $what directory"
    fi
}

check_version_above_4()
{
    local file=$1 header=$2 kind=$3
    local major minor
    major=$(header_value "$header" "Major${kind}Version")
    minor=$(header_value "$header" "Minor${kind}Version")
    if [ -z "$major" ] || [ "$major" -gt 4 ] || { [ "$major" -eq 4 ] && [ "$minor" -gt 0 ]; }; then
        fail "$file: asks for $kind version ${major:-?}.${minor:-?} (at most 4.0)"
    fi
}

check_file()
{
    local path=$1 file
    file=$(basename "$path")
    local header
    header=$("$objdump" -p "$path")

    local outside
    outside=$(comm -23 <(imports "$path" | sort -u) <(allowed "${allowlist[$file]}" | sort -u))
    if [ -n "$outside" ]; then
        fail "$file: imports outside ${allowlist[$file]}: $(tr '\n' ',' <<<"$outside" | sed 's/,$//; s/,/, /g')"
    fi
    check_no_directory "$file" "$header" 9 "thread-local storage"
    check_no_directory "$file" "$header" d "delay-load import"
    if "$objdump" -h "$path" | grep -qE '^\s+[0-9]+ \.tls'; then
        fail "$file: has a .tls section"
    fi
    check_version_above_4 "$file" "$header" OSystem
    check_version_above_4 "$file" "$header" Subsystem

    if "$objdump" -f "$path" | grep -q HAS_SYMS || "$objdump" -h "$path" | grep -qE '^\s+[0-9]+ \.debug'; then
        fail "$file: is not stripped"
    fi
    local resources
    resources=$("$windres" -i "$path" -O rc 2>/dev/null || true)
    if ! grep -q "VALUE \"FileVersion\", \"$version\"" <<<"$resources" ||
       ! grep -q "VALUE \"OriginalFilename\", \"$file\"" <<<"$resources"; then
        fail "$file: has no version resource for $file $version"
    fi
}

# Fails a 32-bit file with an instruction the 486 does not have.
check_486()
{
    local found
    found=$("$objdump" -d --no-show-raw-insn "$1" | grep -E -i -m 3 \
        $'\t(cmov|fcmov|fu?comip?|rdtsc|rdpmc|rdmsr|wrmsr|cmpxchg8b|sysenter|sysexit|ud2|emms|prefetch|movnt|[slm]fence)|%x?mm[0-9]' ||
        true)
    if [ -n "$found" ]; then
        fail "$(basename "$1"): instructions the 486 does not have: $(tr -s '\t\n' '  ' <<<"$found")"
    fi
}

# The names listed under "[Ordinal/Name Pointer] Table", one per line.
check_monitor_exports()
{
    local exports
    exports=$("$objdump" -p "$1" |
              sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s+\[' | sed 's/.*\] //' || true)
    if [ "$exports" != "InitializeMonitorEx" ]; then
        fail "ovlpom00.dll exports: $(tr '\n' ' ' <<<"${exports:-nothing}")"
    fi
}

archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(i686 x86_64)
for arch in "${archs[@]}"; do
    case $arch in
    i686 | x86_64) ;;
    *) echo "build-windows: unknown architecture '$arch' (i686 or x86_64)" >&2; exit 2 ;;
    esac
    scripts/build.sh "mingw-$arch"
    bin=build/mingw-$arch/bin
    objdump=$arch-w64-mingw32-objdump
    windres=$arch-w64-mingw32-windres
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "build/mingw-$arch/CMakeCache.txt")
    before=$failures
    for file in ovlpom00.dll ovlcin00.exe usbcheck98.exe; do
        if [ -f "$bin/$file" ]; then
            check_file "$bin/$file"
            [ "$arch" = x86_64 ] || check_486 "$bin/$file"
        else
            fail "$bin/$file is missing"
        fi
    done
    [ -f "$bin/ovlpom00.dll" ] && check_monitor_exports "$bin/ovlpom00.dll"
    if [ "$arch" = i686 ] && ! scripts/check-calling-conventions.sh "build/mingw-$arch"; then
        fail "i686: calling conventions"
    fi
    if [ "$failures" -eq "$before" ]; then
        echo "build-windows: $arch: ovlpom00.dll, ovlcin00.exe, usbcheck98.exe $version: imports allowed, no TLS, Windows 4.0, stripped, version resource; the monitor exports InitializeMonitorEx alone$([ "$arch" = x86_64 ] || echo "; 486 instructions only")"
    fi
done
[ "$failures" -eq 0 ] || { echo "build-windows: $failures check(s) failed" >&2; exit 1; }
