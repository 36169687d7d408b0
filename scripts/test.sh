#!/usr/bin/env bash
# Installs what is missing, builds Tavrolinde and its tests, and runs every test under Wine
# twice: on a 32-bit system, then on a 64-bit one (Windows 10, WoW64, 64-bit target programs).
# Where the kernel cannot run 32-bit code, once: the x86-64 build on the 64-bit system.
# Arguments go to every ctest run (for instance -L e2e, or -R Lister).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh wine
if scripts/wine-run.sh --runs-32-bit; then
    ctest --preset wine "$@"
    ctest --preset wine64 "$@"
else
    # A kernel without IA-32 emulation runs no 32-bit code at all: there the 32-bit build
    # is checked as a file, and the tests run on the x86-64 build of the same sources.
    echo "test: this machine cannot run 32-bit programs (dmesg | grep -i ia32); the tests" \
        "run on the x86-64 build, on a 64-bit system only" >&2
    scripts/check-program.sh build/bin/Tavrolinde.exe
    scripts/build.sh wine-x64
    ctest --preset wine-x64 "$@"
fi
