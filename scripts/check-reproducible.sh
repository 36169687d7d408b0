#!/usr/bin/env bash
# Builds the release twice, from two clean clones in two different folders, and
# fails on any difference between the executables or the zips.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for side in first second/deeper; do
    git clone -q "$source" "$work/$side"
    "$work/$side/scripts/release.sh" >/dev/null
done
if cmp "$work/first/dist/SHA256SUMS" "$work/second/deeper/dist/SHA256SUMS"; then
    echo "reproducible: $(cat "$work/first/dist/SHA256SUMS" | tr '\n' ' ')"
else
    diff "$work/first/dist/SHA256SUMS" "$work/second/deeper/dist/SHA256SUMS" >&2 || true
    exit 1
fi
