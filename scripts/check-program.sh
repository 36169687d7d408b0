#!/usr/bin/env bash
# What Tavrolinde.exe must be to ship, checked in this one place for the release and the
# tests: it imports only the system's own DLLs named here, of user32 the A functions only,
# and a release build is a 32-bit program (size-optimised, stripped) that fits in 32 KiB.
#   scripts/check-program.sh EXE [--release]
# Prints one line a check, "what|found|required|PASS or MISS", and fails on a MISS.
set -euo pipefail
allowed="kernel32.dll msvcrt.dll user32.dll"
ceiling=32768
exe=$1

status=0
# check WHAT FOUND REQUIRED TEST...: one line for a check that holds when TEST succeeds.
check() {
    local what=$1 found=$2 required=$3
    shift 3
    if "$@"; then
        echo "$what|$found|$required|PASS"
    else
        echo "$what|$found|$required|MISS"
        status=1
    fi
}

# This objdump reads 32-bit and x86-64 programs alike.
headers=$(x86_64-w64-mingw32-objdump -p "$exe")
imports=$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | tr '[:upper:]' '[:lower:]' |
    sort | paste -sd' ')
check "Libraries it imports" "${imports:-none}" "$allowed" [ "$imports" = "$allowed" ]
# The names it imports from user32: no wide (W) variant, and the A ones its dialog loop needs.
user32=$(awk 'tolower($0) ~ /dll name:/ {on = tolower($0) ~ /: user32\.dll$/} /^$/ {on = 0}
    on && /^\t[0-9a-f]+\t/ {print $3}' <<<"$headers")
wide=$(awk '/W$/' <<<"$user32" | paste -sd' ')
check "Wide functions it imports from user32" "${wide:-none}" none [ -z "$wide" ]
loop="CreateDialogParamA DispatchMessageA GetMessageA IsDialogMessageA"
found=$(awk -v loop=" $loop " 'index(loop, " " $0 " ")' <<<"$user32" | sort | paste -sd' ')
check "Dialog loop functions it imports" "${found:-none}" "$loop" [ "$found" = "$loop" ]

if [ "${2:-}" = --release ]; then
    format=$(sed -n 's/.*file format //p' <<<"$headers")
    check "Format of Tavrolinde.exe" "$format" pei-i386 [ "$format" = pei-i386 ]
    size=$(stat -c %s "$exe")
    check "Size of Tavrolinde.exe" "$size bytes" "at most $ceiling bytes" [ "$size" -le "$ceiling" ]
fi
exit "$status"
