#!/usr/bin/env bash
# How every script of the project begins: installs what is missing, then configures and
# builds one of the presets of CMakePresets.json, in its folder; TARGETs limit the build.
#   scripts/build.sh PRESET [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=$1
shift
targets=()
[ $# -eq 0 ] || targets=(--target "$@")
scripts/setup.sh >&2
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" "${targets[@]}"
