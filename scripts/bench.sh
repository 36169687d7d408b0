#!/usr/bin/env bash
# Benchmarks Tavrolinde under Wine and writes the report to BENCHMARKS.md.
#   scripts/bench.sh [--quick] [--only MEASURE] [BUILD_DIR]
# MEASURE: startup, toplevel, descendants, timer, idle, memory or size.
# Installs what is missing, builds a MinSizeRel build (the release program) in
# BUILD_DIR (build-bench by default; give it a folder of its own), runs the benchmark
# there under Wine with the build's own prefix and display, and prints the report.
# A full run writes BENCHMARKS.md and its chart, benchmarks-listing.png, at the top of
# the repository; --quick (fewer runs, no 10,000-window case) and --only write
# BUILD_DIR/bench-report.md and BUILD_DIR/benchmarks-listing.png instead. Either keeps
# BENCHMARKS.md's hand-written prose and replaces the figures between its markers.
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
        [ $# -ge 2 ] || { echo "bench: --only needs a measure" >&2; exit 2; }
        args+=(--only "$2")
        partial=1
        shift
        ;;
    -h | --help)
        sed -n '2,11s/^# \{0,1\}//p' "$0"
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

scripts/build.sh bench "$build"

progress=$build/bin/bench-progress.log
chart_data=$build/bin/bench-listing.dat
tail_pid=
trap '[ -z "$tail_pid" ] || kill "$tail_pid" 2>/dev/null; scripts/wine-run.sh "$build" --shutdown' EXIT
scripts/wine-run.sh "$build" --boot

# The program as it ships, for the report's size section, checked where the release
# checks it.
program_check=$(scripts/check-program.sh "$build/bin/Tavrolinde.exe" --release | paste -sd';' || true)

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date -u '+%Y-%m-%d %H:%M UTC')
# The report comes on the standard output (with the console's line ends). The program's
# output reaches this script only when it ends, so its progress is followed in the file
# that it also writes.
: >"$progress"
rm -f "$chart_data"
tail -n +1 -f "$progress" >&2 &
tail_pid=$!
status=0
scripts/wine-run.sh "$build" "$build/bin/tavrolinde_bench.exe" "${args[@]}" --program-check "$program_check" \
    2>"$build/bench-stderr.log" | tr -d '\r' >"$build/bench-body.md" || status=$?
sleep 0.5
kill "$tail_pid" 2>/dev/null || true
tail_pid=
if [ "$status" -ne 0 ]; then
    echo "bench: the benchmark failed (exit code $status); its error output:" >&2
    cat "$build/bench-stderr.log" >&2
    exit "$status"
fi
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# shellcheck disable=SC1091
os=$(. /etc/os-release && echo "$PRETTY_NAME")
cpu=$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' \
    "$build"/CMakeFiles/*/CMakeCXXCompiler.cmake)

if [ -n "$partial" ]; then
    out=$build/bench-report.md
else
    out=BENCHMARKS.md
fi
chart=$(dirname "$out")/benchmarks-listing.png

# The run's own section, then the benchmark's, each between the markers that name it.
sections=$build/bench-sections.md
cat >"$sections" <<EOF
<!-- generated: run -->

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

<!-- /generated -->
EOF
cat "$build/bench-body.md" >>"$sections"

# BENCHMARKS.md as it stands is the report's frame: every line outside the markers is
# kept, and what stands between a section's markers is replaced by that section of this
# run, or by a note that this run did not measure it.
awk '
    FNR == NR {
        if ($0 ~ /^<!-- generated: [a-z]+ -->$/) {
            name = substr($0, 17, length($0) - 20)
            made[name] = 1
            text[name] = ""
        } else if ($0 == "<!-- /generated -->") {
            name = ""
        } else if (name != "") {
            text[name] = text[name] $0 "\n"
        }
        next
    }
    /^<!-- generated: [a-z]+ -->$/ {
        name = substr($0, 17, length($0) - 20)
        placed[name] = 1
        print
        printf "%s", name in made ? text[name] : "\nNot measured in this run.\n\n"
        skipping = 1
        next
    }
    $0 == "<!-- /generated -->" { skipping = 0 }
    !skipping { print }
    END {
        for (name in made)
            if (!(name in placed)) {
                print "bench: BENCHMARKS.md has no markers for the section " name >"/dev/stderr"
                exit 1
            }
    }
' "$sections" BENCHMARKS.md >"$build/bench-report.tmp"
mv "$build/bench-report.tmp" "$out"

# The chart: the flat descendant listing and its bare enumeration against the number of
# windows, from the figures that the benchmark writes beside itself.
if [ -s "$chart_data" ]; then
    gnuplot <<EOF
set terminal pngcairo size 800,500 font ",10"
set output '$chart'
set title 'Descendant listing, flat: time against the number of windows'
set xlabel 'windows'
set ylabel 'ms: median, bars from minimum to maximum'
set logscale xy
set xrange [70:14000]
set xtics ('100' 100, '1,000' 1000, '10,000' 10000)
set grid
set key top left
plot '$chart_data' using 1:2:3:4 with yerrorlines linewidth 2 title 'Tavrolinde', \
    '' using 1:5:6:7 with yerrorlines linewidth 2 title 'bare EnumChildWindows'
EOF
fi

cat "$out"
printf '\nWritten to %s%s\n' "$out" "$([ -s "$chart_data" ] && printf ' and %s' "$chart")"
