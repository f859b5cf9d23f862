#!/usr/bin/env bash
# Runs a command with a private X server and a throwaway Wine prefix, then removes both.
#   scripts/with-wine.sh [--size WxHxD] command...
# The command sees DISPLAY, WINEPREFIX, WINEDEBUG and WINEDLLOVERRIDES set.
set -euo pipefail

size=1024x768x24
if [ "${1:-}" = "--size" ]; then
    size=$2
    shift 2
fi

work=$(mktemp -d /tmp/fotovane-wine.XXXXXX)
display=""
xvfb_pid=""

cleanup() {
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A free display number: no lock file and no socket.
for n in $(seq 90 190); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
        display=":$n"
        break
    fi
done
[ -n "$display" ] || { echo "with-wine: no free X display" >&2; exit 1; }

Xvfb "$display" -screen 0 "$size" -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.05
done

export DISPLAY=$display
export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
# No Mono/Gecko installers, and a crash exits at once instead of opening the debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
wineboot -i >/dev/null 2>&1
# Without a window manager, Wine otherwise waits about two seconds on every window close.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -w
# One server for the whole command, so that each Windows program starts quickly.
wineserver -p
# Start Wine's background services now, detached from the command's output: started by the
# first test instead, they would hold its output pipe open and the test runner would wait.
wine cmd /c exit >/dev/null 2>&1 </dev/null

set +e
"$@"
rc=$?
set -e
exit $rc
