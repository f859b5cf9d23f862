#!/usr/bin/env bash
# Builds Fotovane.scr and runs it under Wine with sample pictures, on your X display or, with
# none, on a private Xvfb, saving a screenshot of each of the first frames.
#
#   scripts/run-saver.sh [--linux | --config | --preview] [--frames N] [--delay SECONDS] [--shots DIR]
#
#   --linux     the Linux saver instead: installs only what it needs, builds
#               build/linux-saver/fotovane and runs it full screen (one show per monitor) on
#               the sample pictures in build/sample-pictures, with your stored settings but the
#               sample folder and the delay given here. It ends on a key, a click or mouse
#               travel; on a private Xvfb once the frames are saved.
#   (default)   the full-screen saver (Fotovane.scr /s); move the mouse or press a key to end
#               it. On a private Xvfb it is ended once the frames are saved.
#   --config    the configuration dialog (Fotovane.scr /c); its choices are kept in the Wine
#               prefix and used by the next run. On a private Xvfb a screenshot is saved and
#               the dialog cancelled.
#   --preview   the preview in a 152x112 screen of a stand-in display-settings window.
#   --frames N  how many frames to save (default 4)
#   --delay S   seconds per picture, stored in the saver's settings (default: 3 unless the
#               settings already hold a delay)
#   --shots DIR where the screenshots go (default build/run-screenshots/windows, with
#               --linux build/run-screenshots/linux): a new or empty folder, or one holding
#               only screenshots of an earlier run, which are replaced
#   --size WxH  the private Xvfb's screen (default 1024x768)
#   --build-dir DIR  build here instead of the preset's build/windows (build/linux-saver)
#
# Uses its own Wine prefix, .cache/wine-run, with the pictures in "C:\Fotovane Images".
# Installs what it needs first (scripts/bootstrap.sh: needs root or sudo).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)

mode=saver
frames=4
delay=""
shots=""
size=1024x768
build=""
while [ $# -gt 0 ]; do
    case "$1" in
        --linux) mode=linux ;;
        --config) mode=config ;;
        --preview) mode=preview ;;
        --frames) frames=$2; shift ;;
        --delay) delay=$2; shift ;;
        --shots) shots=$(realpath -m "$2"); shift ;;
        --size) size=$2; shift ;;
        --build-dir) build=$(realpath -m "$2"); shift ;;
        -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
        *) echo "run-saver: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
cd "$root"
# Each front end keeps its own screenshots: a run of one never replaces the other's.
if [ -z "$shots" ]; then
    front=windows
    [ "$mode" != linux ] || front=linux
    shots="$root/build/run-screenshots/$front"
fi

# The screenshot folder gets only this script's files: earlier screenshots are replaced, and
# a folder holding anything else is refused rather than emptied.
shot_names=(-name 'frame-[0-9]*.png' -o -name config.png)
if [ -e "$shots" ] || [ -L "$shots" ]; then
    if [ ! -d "$shots" ]; then
        echo "run-saver: --shots $shots is not a folder" >&2
        exit 2
    fi
    other=$(find "$shots/" -mindepth 1 -maxdepth 1 ! \( -type f \( "${shot_names[@]}" \) \) \
        -print -quit)
    if [ -n "$other" ]; then
        echo "run-saver: --shots $shots holds other files than screenshots (${other##*/});" \
            "name a new or empty folder" >&2
        exit 2
    fi
fi
new_shots_folder() {
    mkdir -p "$shots"
    find "$shots/" -mindepth 1 -maxdepth 1 -type f \( "${shot_names[@]}" \) -delete
}

if [ "$mode" = linux ]; then
    bash scripts/bootstrap.sh --linux
else
    bash scripts/bootstrap.sh
fi

# Starts a private Xvfb when there is no display of the user's to run on.
xvfb_pid=""
private=0
private_display() {
    if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
        return
    fi
    private=1
    # The server picks a free display number and names it once it accepts clients.
    local named number
    exec {named}< <(exec Xvfb -displayfd 1 -screen 0 "${size}x24" -nolisten tcp 2>/dev/null)
    xvfb_pid=$!
    read -r -t 30 number <&"$named" || { echo "run-saver: Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$number"
    echo "run-saver: no display of yours; using a private Xvfb on $DISPLAY ($size)"
}

if [ "$mode" = linux ]; then
    build=${build:-$root/build/linux-saver}
    cmake --preset linux-saver -B "$build" >/dev/null
    cmake --build "$build" -j2 --target fotovane
    pictures="$root/build/sample-pictures"
    echo "run-saver: sample pictures in $pictures"
    scripts/make-sample-pictures.sh "$pictures" >/dev/null
    saver_pid=""
    cleanup_linux() {
        [ -n "$saver_pid" ] && kill "$saver_pid" 2>/dev/null || true
        if [ -n "$xvfb_pid" ]; then
            kill "$xvfb_pid" 2>/dev/null || true
            wait "$xvfb_pid" 2>/dev/null || true
        fi
    }
    trap cleanup_linux EXIT
    private_display
    new_shots_folder
    "$build/fotovane" --folder "$pictures" --delay "${delay:-3}" &
    saver_pid=$!
    echo "run-saver: saver running; saving $frames frames into $shots"
    [ "$private" -eq 1 ] || echo "run-saver: move the mouse or press a key to end it"
    python3 scripts/capture-frames.py "$shots" "$frames" "$saver_pid" || true
    [ "$private" -eq 1 ] && xdotool key Escape
    code=0
    wait "$saver_pid" || code=$?
    saver_pid=""
    ls "$shots"
    echo "run-saver: the program ended with exit code $code; screenshots in $shots"
    exit 0
fi

build=${build:-$root/build/windows}
cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" -j2 --target Fotovane fotovane_preview
scr="$build/Fotovane.scr"
preview="$build/tests/e2e/fotovane_preview.exe"

export WINEPREFIX="$root/.cache/wine-run"
export WINEDEBUG=-all
# No Mono/Gecko installers, and a crash ends the program instead of opening the debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

saver_pid=""
cleanup() {
    [ -n "$saver_pid" ] && kill "$saver_pid" 2>/dev/null || true
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

private_display

# A wineserver keeps the screen size of the display it started on.
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "run-saver: making the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
fi
# Without a window manager Wine waits about two seconds on every window close.
managed=Y
[ "$private" -eq 1 ] && managed=N
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d "$managed" /f >/dev/null 2>&1

pictures="$WINEPREFIX/drive_c/Fotovane Images"
echo "run-saver: sample pictures in $pictures"
scripts/make-sample-pictures.sh "$pictures" >/dev/null

key='HKCU\Software\Screen Savers\Fotovane3.0'
if [ -n "$delay" ]; then
    wine reg add "$key" /v delay /t REG_DWORD /d "$delay" /f >/dev/null 2>&1
elif ! wine reg query "$key" /v delay >/dev/null 2>&1; then
    wine reg add "$key" /v delay /t REG_DWORD /d 3 /f >/dev/null 2>&1
fi

new_shots_folder

case "$mode" in
saver)
    xdotool mousemove 10 10 >/dev/null 2>&1 || true
    wine "$scr" /s &
    saver_pid=$!
    echo "run-saver: saver running; saving $frames frames into $shots"
    [ "$private" -eq 1 ] || echo "run-saver: move the mouse or press a key to end it"
    python3 scripts/capture-frames.py "$shots" "$frames" "$saver_pid" || true
    [ "$private" -eq 1 ] && xdotool key Escape
    ;;
config)
    wine "$scr" /c &
    saver_pid=$!
    for _ in $(seq 200); do
        xdotool search --name 'Fotovane 3.0 Setup' >/dev/null 2>&1 && break
        sleep 0.1
    done
    sleep 0.5
    import -silent -window root "$shots/config.png"
    echo "run-saver: saved $shots/config.png"
    [ "$private" -eq 1 ] && xdotool key Escape
    ;;
preview)
    seconds=""
    [ "$private" -eq 1 ] && seconds=$(( frames * ${delay:-3} + 5 ))
    wine "$preview" $seconds &
    saver_pid=$!
    echo "run-saver: preview running; close its window to end it"
    python3 scripts/capture-frames.py "$shots" "$frames" "$saver_pid" || true
    ;;
esac

code=0
wait "$saver_pid" || code=$?
saver_pid=""
ls "$shots"
echo "run-saver: the program ended with exit code $code; screenshots in $shots"
