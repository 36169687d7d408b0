#!/usr/bin/env bash
# How every script of the project begins: installs what is missing, then configures and
# builds one of the presets of CMakePresets.json.
#   scripts/build.sh PRESET [BUILD_DIR] [TARGET...]
# BUILD_DIR, unless empty, takes the place of the preset's folder; TARGETs limit the build.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=$1
dir=${2:-}
shift $(($# < 2 ? $# : 2))
targets=()
[ $# -eq 0 ] || targets=(--target "$@")

scripts/setup.sh >&2
if [ -n "$dir" ]; then
    cmake --preset "$preset" -B "$dir" >/dev/null
    cmake --build "$dir" "${targets[@]}"
else
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" "${targets[@]}"
fi
