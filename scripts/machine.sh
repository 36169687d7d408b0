# shellcheck shell=bash disable=SC2034 # x64 is read by the scripts that source this
# Sourced by the scripts that run programs. Installs what is missing; where this machine cannot
# run 32-bit code (no IA-32 emulation), says so and what the caller does there ($1), and sets
# x64=-x64: the suffix of the presets and folders of the x86-64 build that runs instead.
scripts/setup.sh >&2
x64=
if ! scripts/wine-run.sh --runs-32-bit; then
    echo "${0##*/}: this machine cannot run 32-bit programs (dmesg | grep -i ia32); $1" >&2
    x64=-x64
    export TAVROLINDE_SYSTEM_BITS=64
fi
