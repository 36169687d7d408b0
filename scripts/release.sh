#!/usr/bin/env bash
# Builds the release from a clean tree and packages it:
#   dist/Tavrolinde-1.0.0-win32.zip  Tavrolinde.exe, the user's guides, the licence
#   dist/SHA256SUMS                  checksums of the exe and the zip
# The same sources give byte-identical files wherever and whenever this runs.
set -euo pipefail
cd "$(dirname "$0")/.."
rm -rf dist
scripts/build.sh release Tavrolinde >/dev/null
exe=dist/build/bin/Tavrolinde.exe

# The exe stands on its own: only the system's own DLLs, and small.
check=$(scripts/check-program.sh "$exe" --release) || {
    grep 'MISS$' <<<"$check" >&2
    exit 1
}

# The user's guides: the Japanese one, docs/guide-ja.md, as README.txt, the file a Japanese
# user opens first, and the README's English one beside it. UTF-8 with a byte order mark
# and Windows line ends, so that Notepad on any Windows, in any language, shows them right.
stage=dist/build/zip
mkdir -p "$stage"
cp "$exe" "$stage/Tavrolinde.exe"
for_notepad() { printf '\xEF\xBB\xBF'; sed 's/$/\r/'; }
for_notepad <docs/guide-ja.md >"$stage/README.txt"
sed -n '/^<!-- guide -->$/,/^<!-- \/guide -->$/p' README.md | sed '1d;$d' | for_notepad >"$stage/README-en.txt"
sed 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
[ "$(wc -l <"$stage/README-en.txt")" -gt 1 ] || { echo "release: no user's guide in README.md" >&2; exit 1; }

zip=dist/Tavrolinde-1.0.0-win32.zip
python3 - "$stage" "$zip" <<'PY'
import sys, zipfile
stage, target = sys.argv[1], sys.argv[2]
# Fixed order, date and permissions: nothing of the machine or the moment gets in.
with zipfile.ZipFile(target, "w") as z:
    for name in ("Tavrolinde.exe", "README.txt", "README-en.txt", "LICENSE.txt"):
        info = zipfile.ZipInfo(name, date_time=(1980, 1, 1, 0, 0, 0))
        info.create_system = 3
        info.external_attr = 0o100644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(f"{stage}/{name}", "rb") as f:
            z.writestr(info, f.read(), compresslevel=9)
PY
cp "$exe" dist/Tavrolinde.exe
(cd dist && sha256sum Tavrolinde.exe "$(basename "$zip")" >SHA256SUMS)
cat dist/SHA256SUMS
