#!/usr/bin/env bash
# Installs what is missing, builds Tavrolinde and its tests, and runs every test under Wine.
# Arguments go to ctest (for instance -L e2e, or -R Lister).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset wine >/dev/null
cmake --build --preset wine
ctest --preset wine "$@"
