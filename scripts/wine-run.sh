#!/usr/bin/env bash
# Runs a program of this build under Wine, the way every test and benchmark runs:
#   wine-run.sh BUILD_DIR PROGRAM [ARGS...]   run PROGRAM, exit with its exit code
#   wine-run.sh BUILD_DIR --boot              prepare the prefix and the display
#   wine-run.sh BUILD_DIR --shutdown          end the prefix's processes and the display
#   wine-run.sh --runs-32-bit                 succeed where this machine runs 32-bit code
# The prefix lives in BUILD_DIR/wine (never ~/.wine): 32-bit, quiet, no Mono or Gecko
# prompts, ANSI code page 932. The programs draw on a private Xvfb display started
# on first use, so they neither need nor disturb the user's desktop.
# TAVROLINDE_SYSTEM_BITS=64 uses BUILD_DIR/wine64 instead: a 64-bit prefix that reports
# Windows 10, where the 32-bit programs run under WoW64 as on users' machines. On a
# kernel that cannot run 32-bit code it runs the 64-bit programs of the x86-64 build.
# TAVROLINDE_USE_DISPLAY=1 draws on $DISPLAY instead.
# TAVROLINDE_DESKTOP=NAME,WIDTHxHEIGHT runs PROGRAM, and every process it starts, in a
# Wine virtual desktop, which draws captions with their icons and close boxes.
# TAVROLINDE_OWN_WINESERVER=1 runs PROGRAM under a wineserver of its own (its own
# atoms and windows), sharing the prefix's files.
set -euo pipefail

# Wine starts every 32-bit program with its 32-bit loader, on a 64-bit system too, and a
# kernel without IA-32 emulation refuses it ("Exec format error").
runs_32_bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
if [ "${1:-}" = --runs-32-bit ]; then
    runs_32_bit
    exit
fi

build=$(cd "$1" && pwd)
shift
case "${TAVROLINDE_SYSTEM_BITS:-32}" in
32) state=$build/wine arch=win32 ;;
64) state=$build/wine64 arch=win64 ;;
*)
    echo "wine-run: TAVROLINDE_SYSTEM_BITS is 32 or 64" >&2
    exit 2
    ;;
esac
mkdir -p "$state/prefix"

export WINEPREFIX=$state/prefix
export WINEARCH=$arch
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=ja_JP.UTF-8
unset WAYLAND_DISPLAY

exec 9>"$state/lock"

wine=wine

display_alive() {
    [ -s "$state/xvfb.pid" ] && [ -s "$state/xvfb.display" ] &&
        kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null
}

start_display() {
    display_alive && return
    rm -f "$state/xvfb.display"
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
        3>"$state/xvfb.display" </dev/null >/dev/null 2>&1 9>&- &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq 100); do
        [ -s "$state/xvfb.display" ] && return
        sleep 0.1
    done
    echo "wine-run: Xvfb did not start" >&2
    exit 1
}

boot() {
    # Where 32-bit code cannot run, a 64-bit system runs 64-bit programs with the 64-bit
    # loader alone, and a 32-bit system cannot run at all.
    if ! runs_32_bit; then
        if [ "$arch" = win32 ]; then
            echo "wine-run: this machine cannot run 32-bit programs (dmesg | grep -i ia32)" >&2
            exit 1
        fi
        wine=/usr/lib/wine/wine64
        export WINELOADER=$wine
    fi
    flock 9
    if [ "${TAVROLINDE_USE_DISPLAY:-}" != 1 ]; then
        start_display
        export DISPLAY=:$(cat "$state/xvfb.display")
    fi
    # A server that stays up, with Wine's own background processes started here,
    # away from the caller's output: a test runner waits for its pipes to close.
    if wineserver -p </dev/null >/dev/null 2>&1 9>&-; then
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            "$wine" wineboot -i </dev/null >/dev/null 2>&1 9>&-
            # A crashing program ends at once instead of waiting in the debugger.
            "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
                /v Debugger /d '' /f </dev/null >/dev/null 2>&1 9>&-
            [ "$arch" = win32 ] || "$wine" winecfg -v win10 </dev/null >/dev/null 2>&1 9>&-
        fi
        # Without a window manager Wine waits 2 s for one whenever a captioned window
        # closes. On the private display Wine handles the windows itself: they close at once.
        managed=N
        [ "${TAVROLINDE_USE_DISPLAY:-}" != 1 ] || managed=Y
        "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$managed" /f \
            </dev/null >/dev/null 2>&1 9>&-
        # The registry reaches its files only when the server ends, and a wineserver of a
        # program's own starts from those files: this server ends once and starts for good.
        wineserver -k </dev/null >/dev/null 2>&1 9>&- || true
        wineserver -w </dev/null >/dev/null 2>&1 9>&-
        wineserver -p </dev/null >/dev/null 2>&1 9>&-
        "$wine" cmd /c exit </dev/null >/dev/null 2>&1 9>&-
    fi
    # Wine draws the caption's buttons with its Marlett font, which a new prefix does not
    # find: without it they show as the letters "0 1 r".
    fonts=$WINEPREFIX/drive_c/windows/Fonts
    if [ -d "$fonts" ] && [ ! -f "$fonts/marlett.ttf" ]; then
        cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
    fi
    flock -u 9
}

shutdown() {
    flock 9
    wineserver -k 2>/dev/null || true
    if display_alive; then
        kill "$(cat "$state/xvfb.pid")"
    fi
    rm -f "$state/xvfb.pid" "$state/xvfb.display"
}

case "${1:-}" in
--boot)
    boot
    exit 0
    ;;
--shutdown)
    shutdown
    exit 0
    ;;
esac

boot
if [ -n "${TAVROLINDE_DESKTOP:-}" ]; then
    # Wine's per-program desktop setting; unlike "explorer /desktop=" it keeps the
    # program's exit code.
    name=${TAVROLINDE_DESKTOP%%,*}
    "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v "$name" \
        /d "${TAVROLINDE_DESKTOP#*,}" /f </dev/null >/dev/null 2>&1 9>&-
    "$wine" reg add "HKCU\\Software\\Wine\\AppDefaults\\$(basename "$1")\\Explorer" /v Desktop \
        /d "$name" /f </dev/null >/dev/null 2>&1 9>&-
fi
# Wine starts background processes (services, the desktop) that outlive the program
# and would hold the caller's output open: the program writes to files, which are
# passed on when it ends.
run() {
    local out err status=0
    out=$(mktemp "$state/out.XXXXXX")
    err=$(mktemp "$state/err.XXXXXX")
    "$wine" "$@" >"$out" 2>"$err" 9>&- || status=$?
    cat "$out"
    cat "$err" >&2
    rm -f "$out" "$err"
    return "$status"
}

status=0
if [ "${TAVROLINDE_OWN_WINESERVER:-}" = 1 ]; then
    # A wineserver is found by its prefix folder: a folder of links to the shared
    # files gets a server of its own.
    own=$(mktemp -d "$state/own.XXXXXX")
    ln -s "$WINEPREFIX/drive_c" "$own/drive_c"
    ln -s "$WINEPREFIX/dosdevices" "$own/dosdevices"
    cp "$WINEPREFIX"/*.reg "$WINEPREFIX/.update-timestamp" "$own/"
    export WINEPREFIX=$own
    trap 'wineserver -k 2>/dev/null; rm -rf "$own"' EXIT
fi
run "$@" || status=$?
exit "$status"
