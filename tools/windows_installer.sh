#!/usr/bin/env bash
# The Windows setup programs, corvane-unpaker-VERSION-win32-setup.exe and
# -win64-setup.exe that tools/windows.sh writes in build-win32/ and
# build-win64/, each tried under Wine in a prefix of its own
# (build-installer/wine, made anew each run) as a user's machine sees it:
#   - a silent install (/S) puts the programs, the licence and the README in
#     %LOCALAPPDATA%\Programs\Corvane UnPaker, a Start-menu shortcut with the
#     program's icon, the uninstall key Apps lists and, .pak being free, the
#     association; a second install over the first keeps the association ours;
#   - the installed Tessup.exe, started by the association's command with a
#     generated archive, opens it (Scan_log.txt appears next to it) and ends
#     on Escape (on a virtual X display when there is no DISPLAY);
#   - the silent uninstall that the uninstall key names leaves the user's
#     files and the registry exactly as they were before;
#   - with .pak already taken (in the user's classes, machine-wide, or by the
#     user's choice in Explorer) the setup leaves it alone, and so does the
#     uninstaller.
# The setup programs are the ones tools/windows.sh wrote (it runs first when
# they are missing). Where 32-bit programs can't run, or run only emulated
# (see README), the 32-bit setup program is not run (its test starts some
# twenty 32-bit programs): a line starting "SKIPPED:" says so.
#   tools/windows_installer.sh            everything
#   tools/windows_installer.sh --no-deps  without the package check
set -euo pipefail
# shellcheck source=tools/common.sh
source "$(dirname "$0")/common.sh"
work="$pak_root/build-installer"

[ "${1:-}" = --no-deps ] || tools/deps.sh wine=wine,wineserver wine64=/usr/lib/wine/wine64 xvfb=Xvfb xdotool=xdotool \
    binutils=strings procps=pgrep \
    --optional wine32:i386=/usr/lib/wine/wine

fail() {
    echo "installer test: $*" >&2
    exit 1
}

version=$(pak_version)
nsis_version=$(pak_version 4)
for bits in 32 64; do
    [ -f "build-win$bits/corvane-unpaker-$version-win$bits-setup.exe" ] || { tools/windows.sh "$@"; break; }
done

# A fresh prefix each run, so that nothing of an earlier run is taken for
# the installer's work.
scratch="$work/scratch"
rm -rf "$scratch"
mkdir -p "$scratch"
pak_display
pak_wine "$work/wine" --fresh

w() { pak_wine_run "$@" </dev/null 2>/dev/null | tr -d '\r'; }

# Prints the data of value $2 of key $1 ("" for the key's default value);
# fails when there is no such value.
reg_value() {
    local out
    if [ -z "$2" ]; then
        out=$(pak_wine_run reg query "$1" /ve </dev/null 2>/dev/null) || return 1
    else
        out=$(pak_wine_run reg query "$1" /v "$2" </dev/null 2>/dev/null) || return 1
    fi
    out=$(tr -d '\r' <<<"$out" | grep -E '^    .*    REG_[A-Z_]+' | head -1) || return 1
    sed -E 's/^    .*    REG_[A-Z_]+( {4}|$)//' <<<"$out"
}

reg_has_key() { pak_wine_run reg query "$1" </dev/null >/dev/null 2>&1; }

expect_value() {   # key, value name, expected data
    local got
    got=$(reg_value "$1" "$2") || fail "$label: no value '$2' in $1"
    [ "$got" = "$3" ] || fail "$label: $1 '$2' is '$got', not '$3'"
}

expect_no_key() {
    ! reg_has_key "$1" || fail "$label: $1 is there"
}

# Waits up to 30 s until no process of this prefix runs whose command line
# matches $1 (the uninstaller goes on in a copy of itself after the one that
# was started has ended).
wait_ended() {
    local pid running
    for _ in $(seq 300); do
        running=0
        for pid in $(pgrep -f -- "$1" || true); do
            if { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
                running=1
            fi
        done
        [ "$running" = 0 ] && return 0
        sleep 0.1
    done
    fail "$label: '$1' still runs after 30 s"
}

# The user's files (but the uninstaller's copy of itself in Temp, which
# Windows leaves to its temporary-file clean-up for a user's uninstaller),
# the user's registry (but the display settings Wine keeps for its session
# under "Temporary System Parameters", written when a prefix first shows a
# window, whoever shows it), and the machine's keys that a setup for all users
# would write: its uninstall keys and the names of its classes (the rest of
# the machine's registry Wine changes by itself, and the classes in full
# take seconds to read).
snapshot() {
    (cd "$WINEPREFIX/drive_c/users" && find . | grep -v '/Temp/~nsu[^/]*\.tmp' | LC_ALL=C sort)
    local key
    for key in HKCU 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
        'HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall'; do
        echo "== $key"
        reg_has_key "$key" || continue
        pak_wine_run reg export "$key" "$scratch/hive.reg" /y </dev/null >/dev/null 2>&1 || fail "can't export $key"
        iconv -f UTF-16LE -t UTF-8 "$scratch/hive.reg" | tr -d '\r' |
            awk '/^\[/ { wine = index($0, "[HKEY_CURRENT_USER\\Software\\Wine\\Temporary System Parameters") == 1 }
                 !wine'
    done
    for key in 'HKLM\Software\Classes' 'HKLM\Software\Classes\Applications'; do
        echo "== $key"
        w reg query "$key" || true
    done
}

expect_unchanged() {   # $1 the snapshot from before
    snapshot >"$scratch/after.txt"
    if ! cmp -s "$1" "$scratch/after.txt"; then
        diff "$1" "$scratch/after.txt" | head -40 >&2 || true
        fail "$label: the uninstall left the machine different from before the install"
    fi
}

# What Windows has before any setup runs: the user's class, uninstall and
# Explorer file-type keys and the per-user program folder.
file_exts='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts'
w reg add 'HKCU\Software\Classes' /f >/dev/null
w reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall' /f >/dev/null
w reg add "$file_exts" /f >/dev/null
local_appdata=$(w cmd /c echo %LOCALAPPDATA%)
app_data=$(w cmd /c echo %APPDATA%)
[ -n "$local_appdata" ] && [ -n "$app_data" ] || fail "Wine names no per-user folders"
mkdir -p "$(pak_wine_run winepath -u "$local_appdata\\Programs" 2>/dev/null)"

install_win="$local_appdata\\Programs\\Corvane UnPaker"
install_dir=$(pak_wine_run winepath -u "$install_win" 2>/dev/null)
shortcut=$(pak_wine_run winepath -u "$app_data\\Microsoft\\Windows\\Start Menu\\Programs\\Corvane UnPaker.lnk" 2>/dev/null)
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\CorvaneUnPaker'
classes='HKCU\Software\Classes'
progid='CorvaneUnPaker.pak'
open_command="\"$install_win\\Tessup.exe\" \"%1\""

# A generated archive in a folder whose names have spaces.
archive_dir="$scratch/my archives"
mkdir -p "$archive_dir"
archive="$archive_dir/first level.pak"
pak_linux_tools >/dev/null
"$pak_linux_tools/tests/pak_make_platform_sample" "$archive"

run_silently() {   # a Windows command line's program and its arguments
    pak_wine_run "$@" </dev/null >/dev/null 2>&1 || fail "$label: '$*' failed with status $?"
}

install() {
    run_silently "$1" /S
    wait_ended 'setup\.exe'
}

# Runs the uninstall key's QuietUninstallString as Apps would.
uninstall() {
    local quiet program arguments
    quiet=$(reg_value "$uninstall_key" QuietUninstallString) || fail "$label: no QuietUninstallString"
    [[ "$quiet" =~ ^\"([^\"]+)\"\ (.*)$ ]] || fail "$label: QuietUninstallString is '$quiet'"
    program=${BASH_REMATCH[1]} arguments=${BASH_REMATCH[2]}
    run_silently "$program" $arguments
    wait_ended '\\Un(_.)?\.exe'
}

check_installed() {   # $1 the staged files, $2 bits
    local file
    for file in Tessup.exe pakunpack.exe LICENSE README.txt; do
        cmp -s "$1/$file" "$install_dir/$file" || fail "$label: $file not installed as staged"
    done
    [ -f "$install_dir/uninstall.exe" ] || fail "$label: no uninstall.exe"
    [ "$(w "$install_win\\pakunpack.exe" --version)" = "pakunpack $version" ] || fail "$label: installed pakunpack.exe"

    # The shortcut: to Tessup.exe, with its icon (the icon's path is stored
    # as UTF-16 text, the target as ANSI text in the link's location block).
    [ -f "$shortcut" ] || fail "$label: no Start-menu shortcut"
    grep -qaF "$install_win\\Tessup.exe" "$shortcut" || fail "$label: the shortcut doesn't point at Tessup.exe"
    strings -a -el "$shortcut" | grep -qF "$install_win\\Tessup.exe" \
        || fail "$label: the shortcut has no icon from Tessup.exe"

    expect_value "$uninstall_key" DisplayName "Corvane UnPaker ($2-bit)"
    expect_value "$uninstall_key" DisplayIcon "$install_win\\Tessup.exe,0"
    expect_value "$uninstall_key" DisplayVersion "$nsis_version"
    expect_value "$uninstall_key" Publisher "the Corvane UnPaker authors"
    expect_value "$uninstall_key" InstallLocation "$install_win"
    expect_value "$uninstall_key" UninstallString "\"$install_win\\uninstall.exe\""
    expect_value "$uninstall_key" QuietUninstallString "\"$install_win\\uninstall.exe\" /S"
    expect_value "$uninstall_key" NoModify 0x1
    expect_value "$uninstall_key" NoRepair 0x1
    local estimated bytes
    estimated=$(reg_value "$uninstall_key" EstimatedSize) || fail "$label: no EstimatedSize"
    bytes=$(cat "$install_dir"/* | wc -c)
    [ $((estimated)) -ge $((bytes / 1024 - 1)) ] && [ $((estimated)) -le $((bytes / 1024 + 1)) ] \
        || fail "$label: EstimatedSize $((estimated)) KiB for $bytes bytes"

    # "Open with" knows the program whoever has .pak.
    expect_value "$classes\\Applications\\Tessup.exe\\shell\\open\\command" "" "$open_command"
    expect_value "$classes\\Applications\\Tessup.exe\\SupportedTypes" ".pak" ""
}

check_ours() {
    expect_value "$uninstall_key" PakAssociation 0x1
    expect_value "$classes\\.pak" "" "$progid"
    expect_value "$classes\\$progid\\DefaultIcon" "" "$install_win\\Tessup.exe,0"
    expect_value "$classes\\$progid\\shell\\open\\command" "" "$open_command"
}

# Starts the program by the association's command, as a double-click on the
# archive would (Wine's shell looks only at machine-wide classes, so the
# command is run here), sees it open the archive and ends it with Escape.
check_start() {
    local command
    command=$(reg_value "$classes\\$progid\\shell\\open\\command" "")
    [[ "$command" =~ ^\"([^\"]+)\"\ \"%1\"$ ]] || fail "$label: open command '$command'"
    pak_tessup_opens "${BASH_REMATCH[1]}" "$(pak_wine_run winepath -w "$archive" 2>/dev/null)" \
        "$archive_dir/Scan_log.txt" "$scratch" || fail "$label: the installed Tessup.exe, started with an archive"
    grep -qF "first level.pak" "$archive_dir/Scan_log.txt" || fail "$label: Scan_log.txt names another archive"
    rm -f "$archive_dir/Scan_log.txt"
    echo "$label: the installed Tessup.exe opened the archive from the association's command and ended on Escape"
}

# Another program's association for .pak: where it is written, as
# "key|value name|key removed afterwards" ("" names the default value).
other_owners=(
    'HKCU\Software\Classes\.pak||HKCU\Software\Classes\.pak'
    'HKLM\Software\Classes\.pak||HKLM\Software\Classes\.pak'
    "$file_exts\\.pak\\UserChoice|ProgId|$file_exts\\.pak"
)

ran=()
pak_wine_bits "the win32 setup program under Wine"
if [ "$pak_wine32" = emulated ]; then
    pak_skip "the win32 setup program under Wine: 32-bit programs run emulated here, and its test starts some twenty of them (about 45 s each); the win64 one, from the same script, is tried in full"
    pak_bits=(64)
fi
for bits in "${pak_bits[@]}"; do
    setup="$pak_root/build-win$bits/corvane-unpaker-$version-win$bits-setup.exe"
    stage="$pak_root/build-win$bits/setup-stage"
    setup_win=$(pak_wine_run winepath -w "$setup" 2>/dev/null)

    label="win$bits, .pak free"
    echo "== $label"
    snapshot >"$scratch/before.txt"
    install "$setup_win"
    check_installed "$stage" "$bits"
    check_ours
    install "$setup_win"   # again, over the first
    check_installed "$stage" "$bits"
    check_ours
    check_start
    # The user picks another program in Explorer, then installs once more:
    # the file type is still ours to refresh and to remove.
    w reg add "$file_exts\\.pak\\UserChoice" /v ProgId /d OtherViewer.pak /f >/dev/null
    install "$setup_win"
    check_ours
    uninstall
    expect_value "$file_exts\\.pak\\UserChoice" ProgId OtherViewer.pak
    w reg delete "$file_exts\\.pak" /f >/dev/null
    [ ! -e "$install_dir" ] || fail "$label: $install_dir is left"
    [ ! -e "$shortcut" ] || fail "$label: the shortcut is left"
    expect_no_key "$uninstall_key"
    expect_no_key "$classes\\.pak"
    expect_no_key "$classes\\$progid"
    expect_no_key "$classes\\Applications\\Tessup.exe"
    expect_unchanged "$scratch/before.txt"
    echo "$label: installed, checked, started and removed without a trace"

    for owner in "${other_owners[@]}"; do
        IFS='|' read -r key name added <<<"$owner"
        label="win$bits, .pak taken in $key"
        echo "== $label"
        if [ -z "$name" ]; then
            w reg add "$key" /ve /d OtherViewer.pak /f >/dev/null
        else
            w reg add "$key" /v "$name" /d OtherViewer.pak /f >/dev/null
        fi
        snapshot >"$scratch/before.txt"
        install "$setup_win"
        check_installed "$stage" "$bits"
        expect_value "$uninstall_key" PakAssociation 0x0
        expect_value "$key" "$name" OtherViewer.pak
        expect_no_key "$classes\\$progid"
        [ "$key" = "$classes\\.pak" ] || expect_no_key "$classes\\.pak"
        uninstall
        expect_value "$key" "$name" OtherViewer.pak
        expect_unchanged "$scratch/before.txt"
        w reg delete "$added" /f >/dev/null
        echo "$label: left alone by the setup and the uninstaller"
    done
    ran+=("win$bits")
done
echo "Windows setup programs installed, checked and removed under Wine: ${ran[*]}."
