#!/usr/bin/env bash
# Runs Tessup.exe, the 32-bit Windows build, under Wine on a virtual X display
# inside Wine's own desktop (there Wine draws the title bars and the system
# menu itself), does the whole job with the keyboard as a user would, and
# saves a PNG of the desktop at every step:
#   1-idle.png       the main dialog as it starts
#   2-chooser.png    the common file-open dialog
#   3-opened.png     after opening a generated sample archive
#   4-error-box.png  the box for the one entry that can't be extracted
#   5-extracted.png  after "Extract All"
#   6-menu.png       the system menu (Alt+Space) with "About Tessup..." last
#   7-about.png      the About box
# Then Escape ends the dialog; it checks that the program ended and lists the
# files the program wrote next to the archive. (The dialog has no minimise
# box, so its icon drawn when minimised is not among the steps.)
#
#   tools/screenshots_win32.sh [OUTPUT_FOLDER]     default: build-ui-win32/screenshots
#   BUILD=other tools/screenshots_win32.sh         another build folder
set -euo pipefail
cd "$(dirname "$0")/.."

build="${BUILD:-build-ui-win32}"
out="$(realpath -m "${1:-$build/screenshots}")"

# Wine's own fonts hold "MS Sans Serif", which the templates name, and the
# glyphs of its title-bar buttons.
tools/deps.sh xvfb xdotool imagemagick fonts-wine
# The cross compiler and Wine, 32-bit Wine needing the i386 architecture.
if ! command -v i686-w64-mingw32-g++-posix >/dev/null || ! command -v wine >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        g++-mingw-w64-i686-posix wine wine32:i386 libgtest-dev
fi

export WINEPREFIX="$(realpath -m "$build/wineprefix")"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer dialogs
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-i686.cmake \
    -DPAK_BUILD_UI=ON >/dev/null
cmake --build "$build" --target Tessup make_sample_pak
tessup="$(realpath "$build/ui/Tessup.exe")"

mkdir -p "$out"
work="$(mktemp -d)"
pids=()
cleanup() {
    wineserver -k 2>/dev/null || true
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
export DISPLAY=":$(cat "$work/display")"

wine wineboot --init </dev/null >/dev/null 2>&1
# Wine's own fonts, where the prefix's font table looks for them.
for font in /usr/share/wine/fonts/*; do
    ln -sf "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
done
wine "$(realpath "$build/tests/ui/make_sample_pak.exe")" "Z:$work/data.pak" </dev/null >/dev/null 2>&1

# Saves the desktop as $1 once the step has had time to paint.
shot() {
    sleep "${2:-1.5}"
    import -window root -crop 800x600+0+0 +repage "$out/$1"
    echo "saved $out/$1"
}

# Fails unless file $1 exists within ten seconds.
expect_file() {
    for _ in $(seq 100); do
        [ -e "$1" ] && return 0
        sleep 0.1
    done
    echo "no $1" >&2
    exit 1
}

# Wine's desktop, 800 x 600, with the program in it; started in the sample's
# folder, so the chooser opens there.
(cd "$work" && exec wine explorer /desktop=Tessup,800x600 "$tessup" </dev/null >/dev/null 2>&1) &
tessup_pid=$!
pids+=("$tessup_pid")
for _ in $(seq 200); do
    xdotool search --name "Tessup - Wine desktop" >/dev/null 2>&1 && break
    sleep 0.1
done
desktop="$(xdotool search --name "Tessup - Wine desktop" | head -1)"
xdotool windowfocus --sync "$desktop"
sleep 4
# A click on the title bar makes the dialog the active window of Wine's desktop.
xdotool mousemove --window "$desktop" 300 12 click 1
shot 1-idle.png

xdotool key Return                 # "Open Pak file..." has the focus
shot 2-chooser.png 3
xdotool type --delay 40 "data.pak"
xdotool key Return
expect_file "$work/Scan_log.txt"
shot 3-opened.png

xdotool key Tab Tab Return         # past "Cancel" to "Extract All"
shot 4-error-box.png
xdotool key Return
expect_file "$work/sounds/wind.wav"
shot 5-extracted.png

xdotool key alt+space
shot 6-menu.png
xdotool key Up Return              # from the first item up to the last one
shot 7-about.png
xdotool key Escape

sleep 1
xdotool key Escape                 # ends the dialog, and with it the program
for _ in $(seq 100); do
    kill -0 "$tessup_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$tessup_pid" 2>/dev/null; then
    echo "Tessup.exe is still running after its dialog was closed" >&2
    exit 1
fi
echo "Tessup.exe ended when its dialog closed. Files next to the archive:"
(cd "$work" && find . -type f ! -name data.pak ! -name display | sort)
