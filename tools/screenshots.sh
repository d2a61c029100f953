#!/usr/bin/env bash
# Runs Tessup on a virtual X display (Xvfb, with the openbox window manager so
# that windows get their title bars), does the whole job through the dialog
# with the keyboard and the mouse, and saves a PNG of every step:
#   1-idle.png       the main dialog as it starts
#   2-chooser.png    the file chooser
#   3-opened.png     after opening a generated sample archive
#   4-error-box.png  the box for the one entry that can't be extracted
#   5-extracted.png  after "Extract All"
#   6-menu.png       the context menu with the About entry
#   7-about.png      the About box
# Then it closes the dialog, checks that the program ended, lists the files
# the program wrote and checks that it wrote nothing under its home. Two more
# starts follow:
#   8-argument.png   started as "Tessup .../data.pak" from another folder
#   9-no-options.png started as "Tessup -reverse -style windows": no options
#                    are taken, so the dialog is as in 1-idle.png
#
#   tools/screenshots.sh [OUTPUT_FOLDER]     default: build/screenshots
#   BUILD=build-other tools/screenshots.sh   another build folder (default: build)
set -euo pipefail
# shellcheck source=tools/common.sh
source "$(dirname "$0")/common.sh"

build="${BUILD:-build}"
out="$(realpath -m "${1:-$build/screenshots}")"

tools/deps.sh xvfb=Xvfb xdotool=xdotool imagemagick=import,compare openbox=openbox
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target Tessup make_sample_pak
tessup="$(realpath "$build/ui/Tessup")"

mkdir -p "$out"
work="$(mktemp -d)"
trap 'pak_end; rm -rf "$work"' EXIT

"$build/tests/ui/make_sample_pak" "$work/data.pak"

pak_display --own
pak_start openbox --sm-disable >/dev/null 2>&1
sleep 1

# The id of the visible window titled exactly $1, waiting up to ten seconds.
window() {
    local id
    for _ in $(seq 100); do
        id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)"
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    echo "no window titled '$1' appeared" >&2
    return 1
}

# Saves window $1 with its frame as $2, once it has had time to paint.
shot() {
    sleep 0.7
    import -frame -window "$1" "$out/$2"
    echo "saved $out/$2"
}

# Saves the screen around window $1 as $2: for popups, which are windows of their own.
shot_around() {
    sleep 0.7
    eval "$(xdotool getwindowgeometry --shell "$1")"
    import -window root -crop "$((WIDTH + 60))x$((HEIGHT + 100))+$((X - 30))+$((Y - 60))" +repage "$out/$2"
    echo "saved $out/$2"
}

# Starts Tessup in folder $1 with the arguments after it, with a home and a
# configuration folder that start empty and must stay so.
mkdir -p "$work/home" "$work/config"
start() {
    local folder="$1"
    shift
    cd "$folder"
    HOME="$work/home" XDG_CONFIG_HOME="$work/config" pak_start "$tessup" "$@"
    tessup_pid=$pak_pid
    cd "$pak_root"
}

# Presses Escape on window $1, which ends the dialog, and with it the program.
end() {
    sleep 0.5
    xdotool windowactivate --sync "$1"
    xdotool key Escape
    for _ in $(seq 50); do
        kill -0 "$tessup_pid" 2>/dev/null || return 0
        sleep 0.1
    done
    echo "Tessup is still running after its dialog was closed" >&2
    exit 1
}

# The program starts in the sample's folder, so the chooser opens there.
start "$work"

main="$(window "Corvane UnPaker v 0.1")"
xdotool windowactivate --sync "$main"
shot "$main" 1-idle.png

xdotool key Return                 # "Open Pak file..." has the focus
chooser="$(window "Open")"
shot "$chooser" 2-chooser.png
xdotool type --delay 20 "data.pak"
xdotool key Return
sleep 1
shot "$main" 3-opened.png

xdotool key Tab Tab Return         # past "Cancel" to "Extract All"
box="$(window "Error!")"
shot "$box" 4-error-box.png
xdotool key Return
sleep 1
shot "$main" 5-extracted.png

xdotool mousemove --window "$main" 40 40 click 3
shot_around "$main" 6-menu.png
xdotool key Down Return
about="$(window "About  Corvane UnPaker v 0.1")"
shot "$about" 7-about.png
xdotool key Escape
end "$main"
echo "Tessup ended when its dialog closed. Files next to the archive:"
(cd "$work" && find . -type f ! -name data.pak ! -path './home/*' ! -path './config/*' | sort)
kept="$(find "$work/home" "$work/config" -mindepth 1)"
if [ -n "$kept" ]; then
    printf 'Tessup wrote under its home or configuration folder:\n%s\n' "$kept" >&2
    exit 1
fi

# The archive as the one argument opens as if chosen: the report lands beside it.
rm "$work/Scan_log.txt"
start / "$work/data.pak"
main="$(window "Corvane UnPaker v 0.1")"
sleep 1
shot "$main" 8-argument.png
end "$main"
if [ ! -f "$work/Scan_log.txt" ]; then
    echo "Tessup did not open the archive named on its command line" >&2
    exit 1
fi

start "$work" -reverse -style windows
main="$(window "Corvane UnPaker v 0.1")"
shot "$main" 9-no-options.png
end "$main"
echo "Tessup opened the archive named on its command line and took no options."
