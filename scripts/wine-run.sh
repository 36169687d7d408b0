#!/usr/bin/env bash
# Runs a program of this build under Wine, the way every test and benchmark runs:
#   wine-run.sh BUILD_DIR PROGRAM [ARGS...]   run PROGRAM, exit with its exit code
#   wine-run.sh BUILD_DIR --boot              prepare the prefix and the display
#   wine-run.sh BUILD_DIR --shutdown          end the prefix's processes and the display
#   wine-run.sh --runs-32-bit                 succeed where this machine runs 32-bit code
# The prefix is BUILD_DIR/wine (never ~/.wine): 32-bit, quiet, no Mono or Gecko prompts,
# code page 932. Programs draw on a private Xvfb display (on $DISPLAY if TAVROLINDE_USE_DISPLAY=1).
# TAVROLINDE_SYSTEM_BITS=64 uses BUILD_DIR/wine64 instead: a 64-bit prefix that reports
# Windows 10, where the 32-bit programs run under WoW64 as on users' machines. On a
# kernel that cannot run 32-bit code it runs the 64-bit programs of the x86-64 build.
# TAVROLINDE_DESKTOP=NAME,WIDTHxHEIGHT runs PROGRAM, and every process it starts, in a
# Wine virtual desktop, which draws captions with their icons and close boxes.
# TAVROLINDE_OWN_WINESERVER=1: a wineserver of PROGRAM's own (atoms, windows), same files.
set -eEuo pipefail

# Wine starts every 32-bit program with its 32-bit loader, on a 64-bit system too, and a
# kernel without IA-32 emulation refuses it ("Exec format error").
runs_32_bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
[ "${1:-}" != --runs-32-bit ] || { runs_32_bit; exit; }
# A test runner shows only what its test printed: every failure says what failed.
trap 'echo "wine-run: $BASH_COMMAND failed with exit status $?" >&2' ERR

build=$(cd "$1" && pwd)
shift
case "${TAVROLINDE_SYSTEM_BITS:-32}" in
32) state=$build/wine arch=win32 ;;
64) state=$build/wine64 arch=win64 ;;
*) echo "wine-run: TAVROLINDE_SYSTEM_BITS is 32 or 64" >&2 && exit 2 ;;
esac
mkdir -p "$state/prefix"
export WINEPREFIX=$state/prefix WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=ja_JP.UTF-8
unset WAYLAND_DISPLAY
exec 9>"$state/lock"

display_alive() {
    [ -s "$state/xvfb.pid" ] && [ -s "$state/xvfb.display" ] &&
        kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null
}

if [ "${1:-}" = --shutdown ]; then
    flock 9
    wineserver -k 2>/dev/null || true
    ! display_alive || kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -f "$state/xvfb.pid" "$state/xvfb.display"
    exit 0
fi

# Wine's background processes (services, the desktop) outlive the command that starts them
# and would hold the caller's output open: it goes to files, passed on when the command ends
# (with -q, only if it fails). A failure ends this script with a line that names it.
away() {
    local quiet=0 out err status=0 silent='' passed=''
    [ "$1" != -q ] || { quiet=1 && shift; }
    out=$(mktemp "$state/out.XXXXXX")
    err=$(mktemp "$state/err.XXXXXX")
    "$@" </dev/null >"$out" 2>"$err" 9>&- || status=$?
    if [ "$quiet" = 0 ] || [ "$status" != 0 ]; then
        cat "$out"
        cat "$err" >&2
    fi
    [ -s "$out" ] || [ -s "$err" ] || silent=", printing nothing"
    ! grep -q '^\[  PASSED  \]' "$out" || grep -q '^\[  FAILED  \]' "$out" || passed=1
    rm -f "$out" "$err"
    [ "$status" = 0 ] && return
    # Wine itself now and then dies of a signal (139) as a test program ends, its tests passed;
    # a program's own fault ends with its exception code instead. Such a test runs once more.
    [ "$status" != 139 ] || [ -z "$passed" ] || [ -n "${again:-}" ] || {
        echo "wine-run: Wine crashed (signal 11) as $* ended, its tests passed; once more" >&2
        again=1 away "$@" && return
    }
    echo "wine-run: $* ended with exit status $status$silent" >&2
    exit "$status"
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

wine=wine
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
managed=Y
if [ "${TAVROLINDE_USE_DISPLAY:-}" != 1 ]; then
    start_display
    DISPLAY=:$(cat "$state/xvfb.display") && export DISPLAY
    # Without a window manager Wine waits 2 s for one whenever a captioned window closes.
    # On the private display Wine handles the windows itself: they close at once.
    managed=N
fi
# A server that stays up; it fails to start where one is up already, prepared.
if wineserver -p </dev/null >/dev/null 2>&1 9>&-; then
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        away -q "$wine" wineboot -i
        # A crashing program ends at once instead of waiting in the debugger, in either bits.
        for view in 32 $([ "$arch" = win32 ] || echo 64); do
            away -q "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
                /v Debugger /d '' /f "/reg:$view"
        done
        [ "$arch" = win32 ] || away -q "$wine" winecfg -v win10
    fi
    away -q "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$managed" /f
    # The registry reaches its files only when the server ends, and a wineserver of a
    # program's own starts from those files: this server ends once and starts for good,
    # with Wine's own background processes.
    wineserver -k || true
    wineserver -w
    # Wine draws the caption's buttons with its Marlett font, which a new prefix does not
    # find: without it they show as the letters "0 1 r".
    fonts=$WINEPREFIX/drive_c/windows/Fonts
    [ -f "$fonts/marlett.ttf" ] || cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
    away -q wineserver -p
    away -q "$wine" cmd /c exit
fi
flock -u 9
[ "${1:-}" != --boot ] || exit 0

if [ -n "${TAVROLINDE_DESKTOP:-}" ]; then
    # Wine's per-program desktop: unlike "explorer /desktop=" it keeps the program's exit code.
    name=${TAVROLINDE_DESKTOP%%,*}
    away -q "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v "$name" \
        /d "${TAVROLINDE_DESKTOP#*,}" /f
    away -q "$wine" reg add "HKCU\\Software\\Wine\\AppDefaults\\$(basename "$1")\\Explorer" \
        /v Desktop /d "$name" /f
fi
if [ "${TAVROLINDE_OWN_WINESERVER:-}" = 1 ]; then
    # A wineserver is found by its prefix folder: a folder of links to the shared
    # files gets a server of its own.
    own=$(mktemp -d "$state/own.XXXXXX")
    ln -s "$WINEPREFIX/drive_c" "$WINEPREFIX/dosdevices" "$own/"
    cp "$WINEPREFIX"/*.reg "$WINEPREFIX/.update-timestamp" "$own/"
    export WINEPREFIX=$own
    trap 'wineserver -k 2>/dev/null; rm -rf "$own"' EXIT
fi
away "$wine" "$@"
