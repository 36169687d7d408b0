#!/usr/bin/env bash
# Builds Tavrolinde and starts it under Wine on the user's display. Without a display
# it runs on a private virtual display inside a Wine virtual desktop (which draws the
# caption and its icon), saves a screenshot of the dialog and prints where it is.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/machine.sh "it runs the x86-64 build of the same sources"
build=$PWD/build$x64
scripts/build.sh "wine$x64" Tavrolinde >/dev/null
exe=$build/bin/Tavrolinde.exe

if [ -n "${DISPLAY:-}" ]; then
    TAVROLINDE_USE_DISPLAY=1 exec scripts/wine-run.sh "$build" "$exe"
fi

scripts/wine-run.sh "$build" --boot
# The private display wine-run.sh draws on, that of the 64-bit system for the x86-64 build.
DISPLAY=:$(cat "$build/wine${x64:+64}/xvfb.display")
export DISPLAY
shot=$build/screenshot.png
desktop=(explorer /desktop=Tavrolinde,720x480)

# Waits until the window named like $1 has the X keyboard focus: Wine gives it to the window
# it activates, and keys go there.
wait_front() {
    for _ in $(seq 150); do
        id=$(xdotool search --name "$1" 2>/dev/null | head -n 1 || true)
        [ -n "$id" ] && [ "$(xdotool getwindowfocus 2>/dev/null)" = "$id" ] && return
        sleep 0.2
    done
    echo "run: no window like $1 in front" >&2
}

# A scene of real use: Notepad with its Find dialog open, then Tavrolinde, in one desktop.
scripts/wine-run.sh "$build" "${desktop[@]}" notepad.exe </dev/null >/dev/null 2>&1 &
notepad=$!
wait_front 'メモ帳$'
xdotool key ctrl+f
wait_front '^検索$'
xdotool key --delay 100 T a v r o l i n d e
scripts/wine-run.sh "$build" "${desktop[@]}" "$exe" </dev/null >/dev/null 2>&1 &
runner=$!
wait_front '^Tavrolinde$'
# The dialog lists itself first (topmost), then the Find dialog above its owner Notepad: keys
# select the Find dialog above, then its eighth line, the Find Next button, below.
xdotool key --delay 300 Tab Home Down Tab Home Down Down Down Down Down Down Down
# The lists repaint once the keys are handled; give them time to paint fully.
sleep 3
import -window root -crop 720x480+0+0 +repage "$shot"
scripts/wine-run.sh "$build" --shutdown
wait "$runner" "$notepad" 2>/dev/null || true
echo "Screenshot of the dialog: $shot"
