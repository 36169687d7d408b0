#!/usr/bin/env bash
# Builds Tavrolinde and starts it under Wine on the user's display. Without a display
# it runs on a private virtual display inside a Wine virtual desktop (which draws the
# caption and its icon), saves a screenshot of the dialog and prints where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset wine >/dev/null
cmake --build --preset wine --target Tavrolinde >/dev/null
build=$PWD/build
exe=$build/bin/Tavrolinde.exe

if [ -n "${DISPLAY:-}" ]; then
    TAVROLINDE_USE_DISPLAY=1 exec scripts/wine-run.sh "$build" "$exe"
fi

scripts/wine-run.sh "$build" --boot
export DISPLAY=:$(cat "$build/wine/xvfb.display")
shot=$build/screenshot.png
scripts/wine-run.sh "$build" explorer /desktop=Tavrolinde,720x480 "$exe" &
runner=$!
# The dialog is drawn once the desktop shows it; give it time to paint fully.
for _ in $(seq 100); do
    xwininfo -root -tree 2>/dev/null | grep -q 'Tavrolinde - Wine desktop' && break
    sleep 0.2
done
sleep 3
import -window root -crop 720x480+0+0 +repage "$shot"
scripts/wine-run.sh "$build" --shutdown
wait "$runner" 2>/dev/null || true
echo "Screenshot of the dialog: $shot"
