#!/usr/bin/env bash
# Benchmarks Tavrolinde under Wine and writes the report, as the README's "Benchmark" says:
#   scripts/bench.sh [--only NAME[,NAME...]] [--pairs N]
# NAME: a measure (startup, toplevel, descendants, memory, idle) or a case (flat-1000);
# N: the pairs of every timed case. Exits 0 when no target is missed, 1 when one or more are,
# 2 with no verdict: the build, Wine, a case or the report failed, or a case passed its limit.
set -euo pipefail
trap 'exit 2' ERR
cd "$(dirname "$0")/.."
source scripts/machine.sh "it times the x86-64 build of the same sources, in build-bench-x64"
build=build-bench$x64
scripts/build.sh "bench$x64" >&2
trap 'scripts/wine-run.sh "$build" --shutdown || :' EXIT
scripts/wine-run.sh "$build" --boot
/usr/bin/python3 bench/bench.py "$build" "$@" || exit $(($? == 1 ? 1 : 2))
