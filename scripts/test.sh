#!/usr/bin/env bash
# Installs what is missing, builds Tavrolinde and its tests, and runs every test under Wine
# twice: on a 32-bit system, then on a 64-bit one (Windows 10, WoW64, 64-bit target programs).
# Arguments go to both ctest runs (for instance -L e2e, or -R Lister).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh wine
ctest --preset wine "$@"
ctest --preset wine64 "$@"
