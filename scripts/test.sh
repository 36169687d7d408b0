#!/usr/bin/env bash
# Installs what is missing, builds Tavrolinde and its tests, and runs every test under Wine
# twice: on a 32-bit system, then on a 64-bit one (Windows 10, WoW64, 64-bit target programs).
# Where the kernel cannot run 32-bit code, once: the x86-64 build on the 64-bit system.
# Arguments go to every ctest run (for instance -L e2e, or -R Lister).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/machine.sh "the tests run on the x86-64 build, on a 64-bit system only"
scripts/build.sh wine
if [ -z "$x64" ]; then
    ctest --preset wine "$@"
    ctest --preset wine64 "$@"
else
    # The 32-bit build, which cannot run here, is checked as a file.
    scripts/check-program.sh build/bin/Tavrolinde.exe
    scripts/build.sh wine-x64
    ctest --preset wine-x64 "$@"
fi
