#!/usr/bin/env bash
# Starts a Windows program under Wine with the loader its own header asks for:
# Wine's 32-bit loader for an x86 program, the 64-bit one for the rest. The
# scripts and CTest start every Windows program this way. Debian's `wine`
# launcher takes the 32-bit loader first whenever 32-bit Wine is installed,
# which then starts the 64-bit one for a 64-bit program: where 32-bit programs
# run emulated (see pak_wine_bits in common.sh), that detour costs some 45 s of
# CPU for every 64-bit program.
#   tools/wine.sh PROGRAM [ARGUMENT...]
# PROGRAM is a program's Linux path, its Windows path in $WINEPREFIX (C:\...,
# Z:\...), or the name of one of Wine's own programs (reg, cmd, winepath,
# wineboot, explorer, ...), which are started 64-bit.
set -euo pipefail
loader32=/usr/lib/wine/wine
loader64=/usr/lib/wine/wine64

[ $# -gt 0 ] || { echo "usage: tools/wine.sh PROGRAM [ARGUMENT...]" >&2; exit 64; }

# The Linux file a Windows path names, through the prefix's drive links.
linux_path() {
    case $1 in
        [A-Za-z]:[\\/]*)
            local drive=${1:0:1} rest=${1:3}
            printf '%s/dosdevices/%s:/%s\n' "${WINEPREFIX:-$HOME/.wine}" "${drive,,}" "${rest//\\//}" ;;
        *) printf '%s\n' "$1" ;;
    esac
}

# The machine a PE file is built for, from its header: the offset of the
# "PE\0\0" signature is at 0x3c, the machine field (0x014c for x86) follows it.
is_x86() {
    local file=$1 offset
    [ -f "$file" ] || return 1
    offset=$(od -An -tu4 -j60 -N4 "$file" | tr -d ' ')
    [ -n "$offset" ] || return 1
    [ "$(od -An -tx1 -j"$offset" -N6 "$file" | tr -d ' \n')" = 504500004c01 ]
}

loader=$loader64
if is_x86 "$(linux_path "$1")"; then
    loader=$loader32
    [ -x "$loader" ] || { echo "tools/wine.sh: $1 is a 32-bit program and 32-bit Wine ($loader) isn't installed" >&2; exit 1; }
fi
exec "$loader" "$@"
