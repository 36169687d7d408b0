#!/usr/bin/env bash
# Benchmarks Tavrolinde under Wine and writes the report to BENCHMARKS.md.
#   scripts/bench.sh [--only NAME[,NAME...]] [--pairs N]
# NAME: a measure (startup, toplevel, descendants, memory, idle) or a case (flat-1000);
# N: the pairs of every timed case. Exits 1 on a missed target. Installs what is missing,
# builds the release program with the benchmark in build-bench (build-bench-x64, for
# x86-64, where 32-bit code cannot run), and runs bench/bench.py there under Wine with the
# build's own prefix and display. A full run writes BENCHMARKS.md and its chart,
# benchmarks-listing.png; --only writes bench-report.md and its chart in the build. Either
# keeps BENCHMARKS.md's prose and replaces the figures between markers.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >&2
preset=bench build=build-bench
if ! scripts/wine-run.sh --runs-32-bit; then
    echo "bench: this machine cannot run 32-bit programs (dmesg | grep -i ia32); it times" \
        "the x86-64 build of the same sources, in build-bench-x64" >&2
    preset=bench-x64 build=build-bench-x64
    export TAVROLINDE_SYSTEM_BITS=64
fi
scripts/build.sh "$preset" "$build" >&2
trap 'scripts/wine-run.sh "$build" --shutdown' EXIT
scripts/wine-run.sh "$build" --boot
/usr/bin/python3 bench/bench.py "$build" "$@"
