#!/usr/bin/env bash
# Benchmarks Tavrolinde under Wine and writes the report to BENCHMARKS.md.
#   scripts/bench.sh [--only NAME[,NAME...]] [--pairs N]
# NAME: a measure (startup, toplevel, descendants, memory, idle) or a case (flat-1000);
# N: the pairs of every timed case. Exits 1 on a missed target. Installs what is missing,
# builds the release program with the benchmark in build-bench, and runs bench/bench.py
# there under Wine with the build's own prefix and display. A full run writes BENCHMARKS.md
# and its chart, benchmarks-listing.png; --only writes build-bench/bench-report.md and its
# chart there. Either keeps BENCHMARKS.md's prose and replaces the figures between markers.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-bench
scripts/build.sh bench "$build" >&2
trap 'scripts/wine-run.sh "$build" --shutdown' EXIT
scripts/wine-run.sh "$build" --boot
/usr/bin/python3 bench/bench.py "$build" "$@"
