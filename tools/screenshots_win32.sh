#!/usr/bin/env bash
# Runs Tessup.exe, the 32-bit Windows build (the 64-bit one, saying so on a line
# starting "SKIPPED:", where 32-bit programs can't run or run only emulated:
# see pak_wine_bits in common.sh), under Wine on a virtual X display
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
#   tools/screenshots_win32.sh [OUTPUT_FOLDER]     default: build-win32/screenshots
#   BUILD=other tools/screenshots_win32.sh         another build folder
# The build folder is tools/windows.sh's (build-win32, or build-win64 without
# 32-bit Wine); only Tessup.exe and the sample's generator are brought up to date.
set -euo pipefail
# shellcheck source=tools/common.sh
source "$(dirname "$0")/common.sh"

# Wine's own fonts hold "MS Sans Serif", which the templates name, and the
# glyphs of its title-bar buttons.
tools/deps.sh xvfb=Xvfb xdotool=xdotool imagemagick=import fonts-wine wine=wine,wineserver \
    wine64=/usr/lib/wine/wine64 g++-mingw-w64-i686-posix=i686-w64-mingw32-g++-posix \
    g++-mingw-w64-x86-64-posix=x86_64-w64-mingw32-g++-posix procps=pgrep --optional wine32:i386=/usr/lib/wine/wine
pak_wine_bits "the 32-bit Tessup.exe's screenshots (the 64-bit one's are taken)"
if [ "$pak_wine32" = emulated ]; then
    pak_skip "the 32-bit Tessup.exe's screenshots (the 64-bit one's are taken): 32-bit programs run emulated here; tools/windows_test.sh starts the 32-bit Tessup.exe once"
    pak_bits=(64)
fi
bits=${pak_bits[0]}
case $bits in
    32) toolchain=mingw-w64-i686.cmake ;;
    64) toolchain=mingw-w64-x86_64.cmake ;;
esac
build="${BUILD:-build-win$bits}"
out="$(realpath -m "${1:-$build/screenshots}")"

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$toolchain" \
    -DPAK_BUILD_UI=ON >/dev/null
cmake --build "$build" --target Tessup make_sample_pak
tessup="$(realpath "$build/ui/Tessup.exe")"

mkdir -p "$out"
work="$(mktemp -d)"
trap 'pak_end; rm -rf "$work"' EXIT

pak_display --own
pak_wine "$(realpath -m "$build/wineprefix")"
# Wine's own fonts, where the prefix's font table looks for them.
for font in /usr/share/wine/fonts/*; do
    ln -sf "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
done
pak_wine_run "$(realpath "$build/tests/ui/make_sample_pak.exe")" "Z:$work/data.pak" </dev/null >/dev/null 2>&1

# Saves the desktop as $1 once the step has had time to paint.
shot() {
    sleep "${2:-1.5}"
    import -window root -crop 800x600+0+0 +repage "$out/$1"
    echo "saved $out/$1"
}

# Fails unless a window titled exactly $1 shows within 60 seconds (a new
# prefix's first start takes long on a busy machine).
expect_window() {
    for _ in $(seq 600); do
        xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "no window '$1'" >&2
    exit 1
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
cd "$work"
pak_start "$pak_root/tools/wine.sh" explorer /desktop=Tessup,800x600 "$tessup" </dev/null >/dev/null 2>&1
cd "$pak_root"
expect_window "Tessup - Wine desktop"
desktop="$(xdotool search --name "Tessup - Wine desktop" | head -1)"
expect_window "Corvane UnPaker v 0.1"
xdotool windowfocus --sync "$desktop"
sleep 2
# A click on the title bar makes the dialog the active window of Wine's desktop.
xdotool mousemove --window "$desktop" 300 12 click 1
shot 1-idle.png

xdotool key Return                 # "Open Pak file..." has the focus
expect_window "Open"
shot 2-chooser.png
xdotool type --delay 40 "data.pak"
xdotool key Return
expect_file "$work/Scan_log.txt"
shot 3-opened.png

xdotool key Tab Tab Return         # past "Cancel" to "Extract All"
expect_window "Error!"
shot 4-error-box.png
xdotool key Return
expect_file "$work/sounds/wind.wav"
shot 5-extracted.png

xdotool key alt+space
shot 6-menu.png
xdotool key Up Return              # from the first item up to the last one
expect_window "About  Corvane UnPaker v 0.1"
shot 7-about.png
xdotool key Escape

# The program itself, not Wine's desktop around it, which may linger a while
# after its last window has gone (the desktop names the program only as its
# argument).
tessup_running() { pgrep -f '^[^ ]*[/\\]Tessup\.exe( |$)' >/dev/null; }
if ! tessup_running; then
    echo "no Tessup.exe process to watch" >&2
    exit 1
fi
sleep 1
xdotool key Escape                 # ends the dialog, and with it the program
for _ in $(seq 100); do
    tessup_running || break
    sleep 0.1
done
if tessup_running; then
    echo "Tessup.exe is still running after its dialog was closed" >&2
    exit 1
fi
echo "Tessup.exe ended when its dialog closed. Files next to the archive:"
(cd "$work" && find . -type f ! -name data.pak ! -name display | sort)
