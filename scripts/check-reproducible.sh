#!/usr/bin/env bash
# Builds the release twice, from two clean clones in two different folders, and
# fails on any difference between the executables or the zips.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for side in first second/deeper; do
    git clone -q . "$work/$side"
    "$work/$side/scripts/release.sh" >/dev/null
done
sums=("$work/first/dist/SHA256SUMS" "$work/second/deeper/dist/SHA256SUMS")
diff "${sums[@]}" >&2 || exit 1
echo "reproducible: $(tr '\n' ' ' <"${sums[0]}")"
