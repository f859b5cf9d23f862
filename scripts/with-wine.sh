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

# The server picks a free display number and names it once it accepts clients: probing for
# a free number here would race with other servers starting.
exec {named}< <(exec Xvfb -displayfd 1 -screen 0 "$size" -nolisten tcp 2>"$work/xvfb.log")
xvfb_pid=$!
read -r -t 30 number <&"$named" || { echo "with-wine: Xvfb did not start" >&2; exit 1; }

export DISPLAY=":$number"
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
