#!/usr/bin/env bash
# Benchmarks Tavrolinde under Wine and writes the report to BENCHMARKS.md.
#   scripts/bench.sh [--quick] [--only startup|toplevel|descendants|timer] [BUILD_DIR]
# Installs what is missing, builds a MinSizeRel build (the release program) in
# BUILD_DIR (build-bench by default; give it a folder of its own), runs the benchmark
# there under Wine with the build's own prefix and display, and prints the report.
# A full run writes BENCHMARKS.md at the top of the repository; --quick (fewer runs, no
# 10,000-window case) and --only write BUILD_DIR/bench-report.md instead.
set -euo pipefail
cd "$(dirname "$0")/.."

build="build-bench"
args=()
partial=
while [ $# -gt 0 ]; do
    case $1 in
    --quick)
        args+=(--quick)
        partial=1
        ;;
    --only)
        [ $# -ge 2 ] || { echo "bench: --only needs a section" >&2; exit 2; }
        args+=(--only "$2")
        partial=1
        shift
        ;;
    -h | --help)
        sed -n '2,8s/^# \{0,1\}//p' "$0"
        exit 0
        ;;
    -*)
        echo "bench: unknown option $1" >&2
        exit 2
        ;;
    *)
        build=$1
        ;;
    esac
    shift
done

scripts/setup.sh
cmake --preset wine -B "$build" -DCMAKE_BUILD_TYPE=MinSizeRel -DTAVROLINDE_TESTS=OFF >/dev/null
cmake --build "$build"

progress=$build/bin/bench-progress.log
tail_pid=
trap '[ -z "$tail_pid" ] || kill "$tail_pid" 2>/dev/null; scripts/wine-run.sh "$build" --shutdown' EXIT
scripts/wine-run.sh "$build" --boot

# The libraries the program imports, for the report's size section: objdump reads them
# as the release script does.
imports=$(i686-w64-mingw32-objdump -p "$build/bin/Tavrolinde.exe" | sed -n 's/^\tDLL Name: //p' |
    tr 'A-Z' 'a-z' | sort | paste -sd,)

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date -u '+%Y-%m-%d %H:%M UTC')
# The report comes on the standard output (with the console's line ends). The program's
# output reaches this script only when it ends, so its progress is followed in the file
# that it also writes.
: >"$progress"
tail -n +1 -f "$progress" >&2 &
tail_pid=$!
status=0
scripts/wine-run.sh "$build" "$build/bin/tavrolinde_bench.exe" "${args[@]}" --imports "$imports" \
    2>"$build/bench-stderr.log" | tr -d '\r' >"$build/bench-body.md" || status=$?
sleep 0.5
kill "$tail_pid" 2>/dev/null || true
tail_pid=
if [ "$status" -ne 0 ]; then
    echo "bench: the benchmark failed (exit code $status); its error output:" >&2
    cat "$build/bench-stderr.log" >&2
    exit "$status"
fi
body=$(cat "$build/bench-body.md")
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# shellcheck disable=SC1091
os=$(. /etc/os-release && echo "$PRETTY_NAME")
cpu=$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' \
    "$build"/CMakeFiles/*/CMakeCXXCompiler.cmake)

report="# Benchmarks

Made by \`scripts/bench.sh$([ -n "$partial" ] && printf ' %s' "${args[*]}")\` on $started;
every figure was measured in that run.

| | |
|---|---|
| System | $os, $(uname -sr) $(uname -m) |
| Processor | $cpu, $(nproc) logical processors |
| Load average (1, 5, 15 min) | $load_before before, $load_after after |
| Wine | $(wine --version) |
| Compiler | $(basename "$compiler") $("$compiler" -dumpversion) |
| Build | MinSizeRel, MinGW-w64 i686 |

$body"

if [ -n "$partial" ]; then
    out=$build/bench-report.md
else
    out=BENCHMARKS.md
fi
printf '%s\n' "$report" >"$out"
printf '%s\n\nWritten to %s\n' "$report" "$out"
